#include "platform/transfer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "patcher/http_text.h"
#include "platform/signatures.h"
#include "support/fast_transfers.h"
#include "support/https_server.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using platform::TransferState;

namespace {

class Transfers : public ::testing::Test {
protected:
    platform::TransferResult Fetch(platform::TransferRequest request, std::string* body = nullptr) {
        platform::Transfer transfer(m_session, std::move(request));
        platform::TransferResult result = transfer.Run();
        if (body != nullptr) *body = transfer.Body();
        return result;
    }
    size_t FilesIn(const std::string& folder) {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    HttpsServer m_server;
    platform::HttpSession m_session{"InetURL/1.0"};
    TempFolder m_folder;
    FastTransfers m_limits;
};

TEST_F(Transfers, AnswerArrivesWithTheLaunchersHeaders) {
    std::string body(250000, 'a');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 23);
    m_server.Serve("/big.bin", body);
    std::string got;
    auto result = Fetch({.url = m_server.Root() + "/big.bin", .maxBytes = body.size()}, &got);
    EXPECT_EQ(result.state, TransferState::Succeeded) << result.error;
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(got, body);
    auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers["User-Agent"], "InetURL/1.0");
    EXPECT_EQ(requests[0].headers["Cache-Control"], "no-cache");
}

// Each hostile or broken answer ends as a failure within the bounds, keeps at most the cap in
// memory, and leaves the file it was meant for as it was.
struct FaultRow {
    const char* name;
    HttpFault fault;
    size_t after;
    bool large;  // a file with an announced size instead of a capped text
};

class TransferFaults : public Transfers, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(TransferFaults, EndAsAFailureAndLeaveTheFileAsItWas) {
    const FaultRow& row = GetParam();
    std::string body(300000, 'z');
    m_server.Serve("/f", body);
    m_server.Fail("/f", row.fault, row.after);
    m_folder.Write("target", "old");
    platform::TransferRequest request{.url = m_server.Root() + "/f", .maxBytes = 1024};
    if (row.large)
        request = {
            .url = request.url, .path = m_folder / "target", .large = true, .expectedSize = body.size()};
    platform::Transfer transfer(m_session, request);
    auto result = transfer.Run();
    EXPECT_EQ(result.state, TransferState::Failed);
    EXPECT_LE(transfer.Body().size(), 1024u);
    EXPECT_EQ(m_folder.Read("target"), "old");
}

INSTANTIATE_TEST_SUITE_P(Rows, TransferFaults,
                         ::testing::Values(FaultRow{"NotFound", HttpFault::NotFound, 0, false},
                                           FaultRow{"ServerError", HttpFault::ServerError, 0, true},
                                           FaultRow{"CutShort", HttpFault::CutShort, 120000, true},
                                           FaultRow{"Stall", HttpFault::Stall, 1000, true},
                                           FaultRow{"EndlessText", HttpFault::Endless, 0, false},
                                           FaultRow{"EndlessFile", HttpFault::Endless, 0, true},
                                           FaultRow{"DripText", HttpFault::Drip, 200, false},
                                           FaultRow{"DripFile", HttpFault::Drip, 200, true},
                                           FaultRow{"HugeLengthText", HttpFault::HugeLength, 0, false},
                                           FaultRow{"HugeLengthFile", HttpFault::HugeLength, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transfers, RedirectsNeverLeaveHttpsAndAnErrorAtTheEndIsAFailure) {
    httplib::Server plain;
    plain.Get("/plain", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("served over plain http", "text/plain");
    });
    int port = plain.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { plain.listen_after_bind(); });
    while (!plain.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server.Redirect("/to-http", "http://localhost:" + std::to_string(port) + "/plain");
    m_server.Redirect("/to-404", m_server.Root() + "/missing");
    m_server.Serve("/here", "the content");
    m_server.Redirect("/to-here", m_server.Root() + "/here");

    std::string body;
    EXPECT_EQ(Fetch({.url = m_server.Root() + "/to-http", .maxBytes = 1024}, &body).state,
              TransferState::Failed);
    EXPECT_EQ(body, "");
    auto missing = Fetch({.url = m_server.Root() + "/to-404", .maxBytes = 1024}, &body);
    EXPECT_EQ(missing.state, TransferState::Failed);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(body, "");
    EXPECT_EQ(Fetch({.url = m_server.Root() + "/to-here", .maxBytes = 1024}, &body).state,
              TransferState::Succeeded);
    EXPECT_EQ(body, "the content");
    plain.stop();
    serving.join();
}

TEST_F(Transfers, ServersThatCannotBeTrustedOrReachedGiveNothing) {
    HttpsServer stranger(HttpsServer::Trust::Unknown);
    stranger.Serve("/a", "secret");
    ResettingListener resetting;
    std::string gone;
    {
        HttpsServer closed;
        gone = closed.Root();
    }
    for (const std::string& root : {stranger.Root(), resetting.Root(), gone}) {
        auto result = Fetch({.url = root + "/a", .path = m_folder / "a", .maxBytes = 1024});
        EXPECT_EQ(result.state, TransferState::Failed) << root;
        EXPECT_EQ(result.status, 0) << root;
    }
    EXPECT_EQ(FilesIn(m_folder.path()), 0u);
}

TEST_F(Transfers, FileTakesItsNameOnlyWhenWholeAndValid) {
    std::string body(200000, 'q');
    m_server.Serve("/ok", body);
    m_folder.Write("target", "old");
    struct Row {
        const char* name;
        platform::TransferRequest request;
        bool replaced;
    };
    std::string url = m_server.Root() + "/ok", path = m_folder / "target";
    for (const Row& row : {
             Row{"too large", {.url = url, .path = path, .maxBytes = body.size() - 1}, false},
             Row{"other size", {.url = url, .path = path, .expectedSize = body.size() + 1}, false},
             Row{"other hash", {.url = url, .path = path, .expectedSha256 = std::string(64, '0')}, false},
             Row{"whole",
                 {.url = url,
                 .path = path,
                 .expectedSize = body.size(),
                 // sha256 of 200000 'q' bytes
                  .expectedSha256 = "e10c5bfaac1164b6f5290797df8a7fdb304370ff6c6e7768cfc8728dceb41c4e"},
                 true},
         }) {
        auto result = Fetch(row.request);
        EXPECT_EQ(result.state == TransferState::Succeeded, row.replaced) << row.name << ": " << result.error;
        EXPECT_EQ(m_folder.Read("target"), row.replaced ? body : "old") << row.name;
        EXPECT_EQ(FilesIn(m_folder.path()), 1u) << row.name << ": no temporary stays";
    }
}

TEST_F(Transfers, LargeFileContinuesWhereItStoppedWhileTheServersFileIsTheSame) {
    std::string body(3000000, 'r');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7919 % 251);
    m_server.Serve("/big", body);
    m_server.Fail("/big", HttpFault::CutShort, 1000000);
    // The hash covers the part from the earlier run as well as the rest.
    platform::TransferRequest request{.url = m_server.Root() + "/big",
                                      .path = m_folder / "big",
                                      .large = true,
                                      .expectedSize = body.size(),
                                      .expectedSha256 = platform::Sha256Hex(body)};
    EXPECT_EQ(Fetch(request).state, TransferState::Failed);
    EXPECT_FALSE(m_folder.Exists("big"));
    ASSERT_TRUE(m_folder.Exists("big.part"));
    EXPECT_TRUE(m_folder.Exists("big.part.info"));

    m_server.Serve("/big", body);
    auto resumed = Fetch(request);
    EXPECT_EQ(resumed.state, TransferState::Succeeded) << resumed.error;
    EXPECT_EQ(resumed.status, 206);
    EXPECT_TRUE(m_folder.Read("big") == body);
    EXPECT_EQ(m_server.BytesSent("/big"), 2000000u) << "only the remainder is fetched again";
    EXPECT_EQ(FilesIn(m_folder.path()), 1u);

    // A partial of a file that has changed on the server since is started over.
    std::string changed(body.rbegin(), body.rend());
    m_folder.Write("big.part", body.substr(0, 500000));
    m_folder.Write("big.part.info", "url=" + request.url + "\netag=\"old\"\nmodified=\nsize=3000000\n");
    fs::remove(m_folder / "big");
    m_server.Serve("/big", changed);
    request.expectedSha256 = platform::Sha256Hex(changed);
    auto restarted = Fetch(request);
    EXPECT_EQ(restarted.state, TransferState::Succeeded) << restarted.error;
    EXPECT_EQ(restarted.status, 200);
    EXPECT_TRUE(m_folder.Read("big") == changed);
}

TEST_F(Transfers, BrokenLargeDownloadIsTriedAgainABoundedNumberOfTimes) {
    FastTransfers retrying(2);
    m_server.Serve("/cut", std::string(500000, 'c'));
    m_server.Fail("/cut", HttpFault::CutShort, 1000);
    auto result = Fetch({.url = m_server.Root() + "/cut", .path = m_folder / "cut", .large = true});
    EXPECT_EQ(result.state, TransferState::Failed);
    EXPECT_EQ(m_server.RequestCount("/cut"), 3);
}

TEST_F(Transfers, CancelStopsAWaitingTransferAtOnceAndKeepsThePartial) {
    m_server.Serve("/slow", std::string(500000, 's'));
    m_server.Fail("/slow", HttpFault::Stall, 100000);
    platform::TransferLimits limits = platform::GetTransferLimits();
    limits.stallSeconds = 60;
    platform::SetTransferLimits(limits);
    auto transfer = std::make_unique<platform::Transfer>(
        m_session, platform::TransferRequest{
                       .url = m_server.Root() + "/slow", .path = m_folder / "slow", .large = true});
    while (transfer->Received() < 100000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto start = std::chrono::steady_clock::now();
    transfer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(fs::file_size(m_folder / "slow.part"), 100000u);
    EXPECT_FALSE(m_folder.Exists("slow"));
}

TEST_F(Transfers, TextEndsEachChunkAtItsFirstZeroByte) {
    m_server.Serve("/dir/text", std::string("abc\0def", 7) + std::string(10, 'x'));
    auto request = StartTextRequest(m_session, m_server.Root() + "/dir", "text", 1024);
    request->Run();
    std::string out = "stale";
    EXPECT_EQ(TakeText(*request, out, 8), 17u);
    // Chunks of 8: "abc\0def" + "x" gives "abc", then "xxxxxxxx", then "x".
    EXPECT_EQ(out, "abcxxxxxxxxx");
    auto gone = StartTextRequest(m_session, m_server.Root() + "/dir", "gone", 1024);
    gone->Run();
    EXPECT_EQ(TakeText(*gone, out, 1024), 0u);
    EXPECT_EQ(out, "");
}

TEST_F(Transfers, StartUpRemovesWhatCannotBeContinued) {
    for (const char* name : {"Velmora_Orvin.zip.part-123456", "Config.ini.orl-0123456789abcdef.tmp",
                             "orl.ini.orl-0123456789abcdef.part", "lonely.zip.part", "orphan.zip.part.info",
                             "kept.zip.part", "kept.zip.part.info", "Config.ini", "notes.part-x"})
        m_folder.Write(name, "x");
    platform::RemoveStaleTransferFiles(m_folder.path());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(m_folder.path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Config.ini", "kept.zip.part", "kept.zip.part.info",
                                              "notes.part-x"}));
}

}  // namespace
