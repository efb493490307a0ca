// orl-devserver: a folder served over HTTPS on loopback, trusted through the authority it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "support/dev_server_process.h"
#include "support/substitutes.h"
#include "support/temp_folder.h"

namespace {

TEST(DevServer, ServesTheFolderToClientsThatTrustItsAuthority) {
    TempFolder root;
    root.Write("live/real/last.ver", "1.1\r\n");
    root.Write("notice/launcher_notice_new01.asp", "<html>notice</html>");
    TempFolder state;
    DevServerProcess server(root.path(), state.path());
    ASSERT_FALSE(server.host.empty());
    ASSERT_FALSE(server.ca.empty());
    const std::string& rootUrl = server.host;
    const std::string& caFile = server.ca;
    EXPECT_EQ(caFile, state / "ca.pem");

    EXPECT_EQ(CommandOutput("curl -s --cacert " + caFile + " " + rootUrl + "/live/real/last.ver"), "1.1\r\n");
    EXPECT_EQ(CommandOutput("curl -s -o /dev/null -w '%{content_type}' --cacert " + caFile + " " + rootUrl +
                            "/notice/launcher_notice_new01.asp"),
              "text/html");
    EXPECT_EQ(CommandOutput("curl -s -o /dev/null -w '%{http_code}' --cacert " + caFile + " " + rootUrl +
                            "/missing"),
              "404");
    // Without the authority the certificate is not trusted.
    EXPECT_NE(CommandOutput("curl -s -o /dev/null -w '%{http_code}' " + rootUrl + "/live/real/last.ver"),
              "200");

    int status = server.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a stop request ends it cleanly";
}

TEST(DevServer, AnswersRangesWhileTheFileIsTheSameAndLogsWhatItSent) {
    TempFolder root;
    std::string body(3000000, 'b');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
    root.Write("full/client.zip", body);
    TempFolder state;
    DevServerProcess server(root.path(), state.path());
    std::string curl = "curl -s --cacert " + server.ca + " ";
    std::string url = server.host + "/full/client.zip";
    std::string etag = CommandOutput(curl + "-o /dev/null -w '%header{etag}' " + url);
    ASSERT_FALSE(etag.empty());
    struct Row {
        const char* name;
        std::string ifRange;
        const char* status;
        size_t from;
    };
    for (const Row& row : {Row{"plain range", "", "206", 1000000}, Row{"same file", etag, "206", 1000000},
                           Row{"changed file", "\"other\"", "200", 0}}) {
        std::string header = row.ifRange.empty() ? "" : "-H 'If-Range: " + row.ifRange + "' ";
        EXPECT_EQ(CommandOutput(curl + "-r 1000000- " + header + "-o " + (state / "got") +
                                " -w '%{http_code}' " + url),
                  row.status)
            << row.name;
        EXPECT_TRUE(state.Read("got") == body.substr(row.from)) << row.name;
    }
    server.Stop();
    EXPECT_EQ(state.Read("sent.log"),
              "/full/client.zip 3000000 -\n/full/client.zip 2000000 bytes=1000000-\n"
              "/full/client.zip 2000000 bytes=1000000-\n/full/client.zip 3000000 bytes=1000000-\n");
}

}  // namespace
