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

}  // namespace
