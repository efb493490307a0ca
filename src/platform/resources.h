// The launcher's resources compiled into the binary: the string table and the bitmaps, by id.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// The text of a string-table entry, with the game's web and community hosts filled in; empty when the
// table has no such entry.
std::string LoadStringById(int id);

// The bytes of bitmap id as a BMP file; empty when there is no such bitmap.
std::span<const uint8_t> BitmapResource(int id);

struct BitmapInfo {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};
std::optional<BitmapInfo> BitmapResourceInfo(int id);

// The hosts the page URLs are built from: ORL_WEB_HOST and ORL_COMMUNITY_HOST when set, else the
// compiled-in defaults. The same holds for the update host root and ORL_UPDATE_HOST.
std::string WebHost();
std::string CommunityHost();
std::string UpdateHostRoot();

}  // namespace platform
