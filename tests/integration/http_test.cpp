#include "platform/http.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "patcher/http_text.h"
#include "support/https_server.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class Http : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = platform::GetHttpTimeouts();
        platform::SetHttpTimeouts({5, 2});
    }
    void TearDown() override { platform::SetHttpTimeouts(m_saved); }

    std::string ReadAll(const std::string& url, size_t piece, long* last) {
        auto stream = platform::HttpStream::Open(m_session, url);
        EXPECT_NE(stream, nullptr);
        if (!stream) return {};
        std::string out;
        std::vector<char> buffer(piece);
        for (;;) {
            long n = stream->Read(buffer.data(), buffer.size());
            *last = n;
            if (n <= 0) break;
            EXPECT_LE(static_cast<size_t>(n), piece);
            out.append(buffer.data(), static_cast<size_t>(n));
        }
        return out;
    }

    HttpsServer m_server;
    platform::HttpSession m_session{"InetURL/1.0"};
    TempFolder m_folder;
    platform::HttpTimeouts m_saved;
};

TEST_F(Http, StreamHandsOutFullPiecesUntilTheEnd) {
    std::string body(250000, 'a');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 23);
    m_server.Serve("/big.bin", body);
    long last = 99;
    EXPECT_EQ(ReadAll(m_server.Root() + "/big.bin", 100000, &last), body);
    EXPECT_EQ(last, 0);
    auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers["User-Agent"], "InetURL/1.0");
    EXPECT_EQ(requests[0].headers["Cache-Control"], "no-cache");
}

TEST_F(Http, FaultsEndTheStreamAsAFailure) {
    std::string body(300000, 'z');
    struct Row {
        const char* name;
        HttpFault fault;
        size_t after;
    };
    for (const Row& row :
         {Row{"NotFound", HttpFault::NotFound, 0}, Row{"ServerError", HttpFault::ServerError, 0},
          Row{"CutShort", HttpFault::CutShort, 120000}, Row{"Stall", HttpFault::Stall, 1000}}) {
        std::string path = std::string("/") + row.name;
        m_server.Serve(path, body);
        m_server.Fail(path, row.fault, row.after);
        long last = 0;
        std::string got = ReadAll(m_server.Root() + path, 100000, &last);
        EXPECT_EQ(last, -1) << row.name;
        EXPECT_LE(got.size(), row.after) << row.name;
    }
}

TEST_F(Http, UntrustedCertificateIsRefused) {
    HttpsServer stranger(HttpsServer::Trust::Unknown);
    stranger.Serve("/a", "secret");
    EXPECT_EQ(platform::HttpStream::Open(m_session, stranger.Root() + "/a"), nullptr);
    auto result = platform::DownloadToFile(m_session, stranger.Root() + "/a", m_folder / "a");
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(fs::exists(m_folder / "a"));
}

TEST_F(Http, NothingListeningMeansNoStream) {
    std::string root;
    {
        HttpsServer gone;
        gone.Serve("/x", "x");
        root = gone.Root();
    }
    EXPECT_EQ(platform::HttpStream::Open(m_session, root + "/x"), nullptr);
}

TEST_F(Http, DownloadReplacesTheFileOnlyWhenEverythingArrived) {
    std::string body(200000, 'q');
    m_server.Serve("/ok", body);
    m_server.Serve("/cut", body);
    m_server.Fail("/cut", HttpFault::CutShort, 50000);
    m_server.Fail("/missing", HttpFault::NotFound);
    m_folder.Write("target", "old");

    uint64_t lastReceived = 0, lastTotal = 0;
    auto ok = platform::DownloadToFile(m_session, m_server.Root() + "/ok", m_folder / "target",
                                       [&](uint64_t received, uint64_t total) {
                                           lastReceived = received;
                                           lastTotal = total;
                                           return true;
                                       });
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(m_folder.Read("target"), body);
    EXPECT_EQ(lastReceived, body.size());
    EXPECT_EQ(lastTotal, body.size());

    m_folder.Write("target", "old");
    for (const char* path : {"/cut", "/missing"}) {
        auto failed = platform::DownloadToFile(m_session, m_server.Root() + path, m_folder / "target");
        EXPECT_FALSE(failed.ok) << path;
        EXPECT_EQ(m_folder.Read("target"), "old") << path;
    }
    auto stopped = platform::DownloadToFile(m_session, m_server.Root() + "/ok", m_folder / "target",
                                            [](uint64_t, uint64_t) { return false; });
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(m_folder.Read("target"), "old");
    // No temporary is left beside the target.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder.path()), fs::directory_iterator()), 1);
}

TEST_F(Http, TextEndsEachChunkAtItsFirstZeroByte) {
    m_server.Serve("/dir/text", std::string("abc\0def", 7) + std::string(10, 'x'));
    std::string out = "stale";
    EXPECT_EQ(HttpGetText(m_session, out, m_server.Root() + "/dir", "text", 8), 17u);
    // Chunks of 8: "abc\0def" + "x" gives "abc", then "xxxxxxxx", then "x".
    EXPECT_EQ(out, "abcxxxxxxxxx");
    m_server.Fail("/dir/gone", HttpFault::NotFound);
    EXPECT_EQ(HttpGetText(m_session, out, m_server.Root() + "/dir", "gone", 1024), 0u);
    EXPECT_EQ(out, "");
}

}  // namespace
