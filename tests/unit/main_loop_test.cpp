#include <gtest/gtest.h>

#include "app/plx_app.h"
#include "core/launcher_globals.h"
#include "support/recording_host.h"
#include "support/temp_folder.h"

namespace {

class FakeKeys : public platform::IKeyState {
public:
    bool IsEscapeDown() override {
        ++queries;
        return escapeDown;
    }
    bool escapeDown = false;
    int queries = 0;
};

class MainLoop : public WorkingFolderTest {
protected:
    void SetUp() override {
        WorkingFolderTest::SetUp();
        m_work.Write("config_stage.ini", "[Download]\r\nEnableStarter=0\r\n");
        ASSERT_TRUE(m_app.InitInstance());
        m_app.m_dlg.m_bannerPages = {"https://a", "https://b"};
    }
    RecordingHost m_host;
    FakeKeys m_keys;
    CPLXApp m_app{m_host, m_keys};
};

TEST_F(MainLoop, InitInstanceShowsTheWindow) {
    EXPECT_TRUE(m_host.shown);
    EXPECT_TRUE(m_host.IsWindowAlive());
}

TEST_F(MainLoop, QuitRequestEndsThePassAtOnce) {
    bool before = false, after = false;
    m_host.Post([&] { before = true; });
    m_host.Post([&] { m_app.m_dlg.DestroyWindow(); });
    m_host.Post([&] { after = true; });
    float bannerTime = m_app.m_dlg.m_bannerTime;
    EXPECT_FALSE(m_app.RunPass());
    EXPECT_TRUE(before);
    EXPECT_FALSE(after);
    EXPECT_EQ(m_keys.queries, 0) << "the Escape test must not run after the quit request";
    EXPECT_EQ(m_app.m_dlg.m_bannerTime, bannerTime) << "the banner tick must not run after the quit request";
}

TEST_F(MainLoop, EmptyQueueStillRunsEveryStepWithPositiveFrameTime) {
    float total = 0.0f;
    for (int pass = 1; pass <= 5; ++pass) {
        ASSERT_TRUE(m_app.RunPass());
        EXPECT_GT(g_frameTime, 0.0f);
        total += g_frameTime;
        EXPECT_EQ(m_keys.queries, pass);
    }
    EXPECT_FLOAT_EQ(m_app.m_dlg.m_bannerTime, total);
}

TEST_F(MainLoop, EscapeHeldDestroysTheWindowAndTheLoopEndsWithZero) {
    m_keys.escapeDown = true;
    EXPECT_EQ(m_app.Run(), 0);
    EXPECT_FALSE(m_host.IsWindowAlive());
    EXPECT_EQ(m_keys.queries, 1);
}

TEST_F(MainLoop, DrainWaitsBrieflyAlsoWhileADownloadRuns) {
    ASSERT_TRUE(m_app.RunPass());
    m_app.m_dlg.m_bPatchActive = true;
    ASSERT_TRUE(m_app.RunPass());
    m_app.m_dlg.m_bPatchActive = false;
    ASSERT_EQ(m_host.pumpWaits.size(), 2u);
    for (int wait : m_host.pumpWaits) {
        EXPECT_GT(wait, 0);
        EXPECT_LE(wait, 10);
    }
}

TEST_F(MainLoop, BannerTickRotatesAfterThreeSecondsOfFrameTime) {
    CPLXDlg& dlg = m_app.m_dlg;
    dlg.m_bannerTime = 2.999f;
    g_frameTime = 0.0f;
    dlg.TickBanners();
    EXPECT_EQ(dlg.m_bannerIndex, 0);
    g_frameTime = 0.002f;
    dlg.TickBanners();
    EXPECT_EQ(dlg.m_bannerIndex, 1);
    EXPECT_EQ(dlg.m_bannerTime, 0.0f);
    dlg.m_bannerTime = 3.0f;
    dlg.TickBanners();
    EXPECT_EQ(dlg.m_bannerIndex, 0) << "the last banner wraps to the first";
}

}  // namespace
