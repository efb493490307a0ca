// orl-devserver: a folder served over HTTPS on loopback, trusted through the authority it prints.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/substitutes.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

TEST(DevServer, ServesTheFolderToClientsThatTrustItsAuthority) {
    TempFolder root;
    root.Write("live/real/last.ver", "1.1\r\n");
    root.Write("notice/launcher_notice_new01.asp", "<html>notice</html>");
    TempFolder state;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string rootPath = root.path(), statePath = state.path();
    const char* argv[] = {ORL_DEVSERVER_PATH, rootPath.c_str(), "--state", statePath.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, ORL_DEVSERVER_PATH, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string printed;
    char c;
    while (std::count(printed.begin(), printed.end(), '\n') < 2 && read(fds[0], &c, 1) == 1) printed += c;
    close(fds[0]);

    size_t host = printed.find("ORL_UPDATE_HOST=");
    size_t ca = printed.find("ORL_CA_BUNDLE=");
    ASSERT_NE(host, std::string::npos) << printed;
    ASSERT_NE(ca, std::string::npos) << printed;
    std::string rootUrl = printed.substr(host + 16, printed.find('\n', host) - host - 16);
    std::string caFile = printed.substr(ca + 14, printed.find('\n', ca) - ca - 14);
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

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a stop request ends it cleanly";
}

}  // namespace
