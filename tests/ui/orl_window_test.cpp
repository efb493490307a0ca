// The real orl program under Xvfb against the loopback HTTPS server: the notice page and three
// banners from orl.ini, the window's pixels once both pages show, and the window manager's close.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <filesystem>
#include <future>

#include "platform/resources.h"
#include "support/https_server.h"
#include "support/orl_process.h"
#include "support/temp_folder.h"
#include "support/x_server.h"
#include "ui/shown_window.h"

namespace {

std::string Page(const char* color) {
    return std::string("<html><body style=\"margin:0;background:") + color +
           "\"><div style=\"height:2000px\"></div></body></html>";
}

QImage Bitmap(int id) {
    auto bytes = platform::BitmapResource(id);
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
}

bool Near(QColor a, QColor b, int tolerance = 12) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// The notice page inside the notice panel's region, the banner page inside the banner panel's.
bool PagesShown(const QImage& window) {
    return Near(window.pixelColor(414 + 150, 146 + 90), QColor(0, 255, 0)) &&
           Near(window.pixelColor(3 + 200, 95 + 120), QColor(255, 0, 0));
}

TEST(OrlWindow, ShowsTheSkinTheDotsAndThePages) {
    XServer x("1920x1080x24");
    ASSERT_FALSE(x.display.empty());
    HttpsServer server;
    server.Serve("/notice/launcher_notice_new01.asp", Page("#00ff00"));
    for (int i = 1; i <= 3; ++i) server.Serve("/banner/" + std::to_string(i) + ".html", Page("#ff0000"));
    TempFolder work;
    std::string banners = "[BannerURL]\r\n", pages = "[ImageURL]\r\n";
    for (int i = 1; i <= 3; ++i) {
        banners += std::to_string(i) + "=https://shop.example/" + std::to_string(i) + "\r\n";
        pages += std::to_string(i) + "=" + server.Root() + "/banner/" + std::to_string(i) + ".html\r\n";
    }
    work.Write("Orvin/orl.ini", banners + pages);
    work.Write("config_stage.ini", "[Download]\r\nEnableStarter=0\r\n");
    std::filesystem::create_directories(work / "runtime");
    std::filesystem::permissions(work / "runtime", std::filesystem::perms::owner_all);

    // The test program itself runs offscreen; the launcher shows its window on the X server.
    std::future<int> status = std::async(std::launch::async, [&] {
        return RunOrl(ORL_PATH, work.path(),
                      {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb", "ORL_WEB_HOST=" + server.Root(),
                       "ORL_COMMUNITY_HOST=" + server.Root(), "ORL_UPDATE_HOST=" + server.Root(),
                       "ORL_CA_BUNDLE=" + TestAuthorityFile(), "XDG_RUNTIME_DIR=" + (work / "runtime"),
                       "QT_LOGGING_RULES=qt.webenginecontext=false"},
                      {}, 90);
    });
    // The pages load and paint in WebEngine's own processes: look at the screen until both show.
    ShownWindow shown(x.display, QSize(760, 429));
    QImage window;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           status.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout) {
        QImage seen = shown.Grab();
        if (!seen.isNull() && PagesShown(seen)) {
            window = seen;
            break;
        }
    }
    bool closed = shown.Close();
    ASSERT_FALSE(window.isNull()) << "the window never showed both pages";
    ASSERT_TRUE(closed);
    ASSERT_EQ(status.get(), 0);

    // The background where no control lies.
    QImage background = Bitmap(237);
    for (QPoint p : {QPoint(200, 40), QPoint(600, 60), QPoint(20, 415)})
        EXPECT_TRUE(Near(window.pixelColor(p), background.pixelColor(p))) << p.x() << "," << p.y();
    // The start button's picture at (619, 358), normal or pressed.
    for (QPoint inside : {QPoint(20, 20), QPoint(66, 33), QPoint(110, 50)}) {
        QColor shown = window.pixelColor(QPoint(619, 358) + inside);
        EXPECT_TRUE(Near(shown, Bitmap(152).pixelColor(inside)) ||
                    Near(shown, Bitmap(153).pixelColor(inside)))
            << inside.x() << "," << inside.y();
    }
    // Three dots at x 172, 198 and 224, one of them the dot on show.
    int on = 0;
    for (int x0 : {172, 198, 224}) {
        QColor shown = window.pixelColor(x0 + 6, 332 + 6);
        bool isOn = Near(shown, Bitmap(224).pixelColor(6, 6), 40);
        bool isOff = Near(shown, Bitmap(225).pixelColor(6, 6), 40);
        EXPECT_TRUE(isOn || isOff) << x0;
        on += isOn;
    }
    EXPECT_EQ(on, 1);
}

}  // namespace
