// A fresh temporary folder for one test, removed with everything in it afterwards. WorkingFolderTest
// also makes it the process's working folder for the test's duration.
#pragma once

#include <gtest/gtest.h>

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Writes a file below the folder, making its folders as needed.
    void Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void MakeFolder(const std::string& relative) const;

private:
    std::string m_path;
};

class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TempFolder m_work;

private:
    std::string m_previous;
};

// Makes a folder below base (whose path is shorter) whose path is exactly length characters long,
// and makes it the process's working folder; its path.
std::string EnterFolderOfLength(const TempFolder& base, size_t length);
