// The orl-liza program: pack, unpack and info on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "support/liza_builders.h"
#include "support/temp_folder.h"

namespace {

class OrlLiza : public ::testing::Test {
protected:
    // Runs orl-liza with args; returns its exit status, its standard output in out and its standard
    // error in err.
    int Run(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
        std::string command = std::string(ORL_LIZA_PATH) + " " + args + " >" + (m_folder / "stdout") + " 2>" +
                              (m_folder / "stderr");
        int status = std::system(command.c_str());
        if (out) *out = m_folder.Read("stdout");
        if (err) *err = m_folder.Read("stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string P(const std::string& name) { return m_folder / name; }
    TempFolder m_folder;
};

TEST_F(OrlLiza, PackedFilesUnpackToTheSameBytes) {
    std::mt19937 rng(3);
    std::string data;
    for (int i = 0; i < 200000; ++i) data.push_back(i % 3 ? "velmora"[i % 7] : static_cast<char>(rng()));
    m_folder.Write("in", data);
    for (const char* mode : {"", "--stored "}) {
        ASSERT_EQ(Run(std::string("pack ") + mode + P("in") + " " + P("c")), 0) << mode;
        ASSERT_EQ(Run("unpack " + P("c") + " " + P("out")), 0) << mode;
        EXPECT_EQ(m_folder.Read("out"), data) << mode;
    }
    m_folder.Write("empty", "");
    ASSERT_EQ(Run("pack " + P("empty") + " " + P("c")), 0);
    ASSERT_EQ(Run("unpack " + P("c") + " " + P("out")), 0);
    EXPECT_EQ(m_folder.Read("out"), "");
}

TEST_F(OrlLiza, InfoDescribesTheHeader) {
    m_folder.Write("in", std::string(1000, 'a'));
    ASSERT_EQ(Run("pack " + P("in") + " " + P("c")), 0);
    size_t size = m_folder.Read("c").size();
    std::string out;
    ASSERT_EQ(Run("info " + P("c"), &out), 0);
    EXPECT_EQ(out, "level 3\ncontainer size " + std::to_string(size) + "\nunpacked size 1000\ncoded\n");
    ASSERT_EQ(Run("pack --stored " + P("in") + " " + P("s")), 0);
    ASSERT_EQ(Run("info " + P("s"), &out), 0);
    EXPECT_EQ(out, "level 3\ncontainer size 1036\nunpacked size 1000\nstored\n");
}

TEST_F(OrlLiza, DamagedContainersFailWithOneLineAndNoOutput) {
    Bytes good = LizaPack(BytesOf(std::string(5000, 'x') + "the end of it"));
    Bytes levelTwo = good;
    levelTwo[4] = 2;
    Bytes cut(good.begin(), good.begin() + good.size() / 2);
    // A first control word of only match flags: the first token copies from before the start.
    Bytes badOffset = good;
    std::fill(badOffset.begin() + 32, badOffset.begin() + 36, 0xFF);
    for (const Bytes& c : {levelTwo, cut, badOffset, BytesOf("not a container at all")}) {
        std::ofstream(P("bad"), std::ios::binary).write(reinterpret_cast<const char*>(c.data()), c.size());
        std::string err;
        EXPECT_EQ(Run("unpack " + P("bad") + " " + P("out"), nullptr, &err), 1);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_FALSE(m_folder.Exists("out"));
    }
    std::string err;
    EXPECT_EQ(Run("unpack " + P("missing") + " " + P("out"), nullptr, &err), 1);
    EXPECT_FALSE(m_folder.Exists("out"));
    EXPECT_NE(Run("frobnicate"), 0);
}

}  // namespace
