// The table of compiled-in bitmaps, made by the build from the files in resources/bitmaps.
#pragma once

#include <cstdint>

namespace platform {

struct ResourceBlob {
    int id;
    const uint8_t* begin;
    const uint8_t* end;
};

// Ends with an entry whose id is 0.
extern const ResourceBlob kBitmapBlobs[];

}  // namespace platform

extern "C" const char orl_resource_strings[];
