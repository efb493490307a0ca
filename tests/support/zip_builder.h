// Zip archives for tests, written with minizip's zip interface.
#pragma once

#include <string>
#include <vector>

struct ZipEntry {
    std::string name;  // a trailing "/" makes a folder entry
    std::string content;
    bool stored = false;    // no compression
    unsigned unixMode = 0;  // when set, the entry is marked as made on Unix with this mode
};

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);
