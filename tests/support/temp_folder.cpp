#include "support/temp_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "orl-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = made;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_path, ignored);
}

void TempFolder::Write(const std::string& relative, const std::string& content) const {
    fs::path target = fs::path(m_path) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
}

std::string TempFolder::Read(const std::string& relative) const {
    std::ifstream in(fs::path(m_path) / relative, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool TempFolder::Exists(const std::string& relative) const {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(fs::path(m_path) / relative, ignored));
}

void TempFolder::MakeFolder(const std::string& relative) const {
    fs::create_directories(fs::path(m_path) / relative);
}

std::string EnterFolderOfLength(const TempFolder& base, size_t length) {
    std::string path = base.path();
    while (path.size() < length) {
        // A separator and at most 200 characters per folder, never leaving room for only a separator.
        size_t name = std::min<size_t>(200, length - path.size() - 1);
        if (length - path.size() - 1 - name == 1) --name;
        path += "/" + std::string(name, 'd');
    }
    fs::create_directories(path);
    fs::current_path(path);
    return path;
}

void WorkingFolderTest::SetUp() {
    m_previous = fs::current_path().string();
    fs::current_path(m_work.path());
    // Unless a test serves one, the update host is a local port where nothing listens: the window's
    // start-up never reaches out to the network.
    setenv("ORL_UPDATE_HOST", "https://localhost:9", 0);
}

void WorkingFolderTest::TearDown() { fs::current_path(m_previous); }
