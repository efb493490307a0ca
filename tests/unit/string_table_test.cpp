#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/resources.h"

namespace {

TEST(StringTable, TextsByIdWithLineBreaks) {
    EXPECT_EQ(platform::LoadStringById(101), "&About ORL...");
    EXPECT_EQ(platform::LoadStringById(105), "文件下載失敗");
    EXPECT_EQ(platform::LoadStringById(127), "게임 동시 실행은 4개까지 가능합니다.\n게임을 종료합니다.");
    EXPECT_EQ(platform::LoadStringById(128),
              "程式正在運行\n請結束該程式\n點擊確認將會退出\n  : redistinstaller.exe\n");
    EXPECT_EQ(platform::LoadStringById(129), "正在安裝運行遊?所需的文件");
    EXPECT_EQ(platform::LoadStringById(999), "");
}

TEST(StringTable, PageUrlsTakeTheConfiguredHosts) {
    ::setenv("ORL_WEB_HOST", "https://web.test", 1);
    ::setenv("ORL_COMMUNITY_HOST", "https://club.test", 1);
    EXPECT_EQ(platform::LoadStringById(111),
              "https://web.test/web/account_new/Default.asp?lyt=account&bname=njoin&spage=main");
    EXPECT_EQ(platform::LoadStringById(112), "https://club.test/velmoraA");
    ::unsetenv("ORL_WEB_HOST");
    ::unsetenv("ORL_COMMUNITY_HOST");
}

}  // namespace
