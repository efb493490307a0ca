// Feeds arbitrary bytes to the update payload's reader, as a hostile server could through Update.dat.
// A payload that is accepted names only paths inside the client folder, and what it encodes to reads
// back as the same payload.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "update-payload/update_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto payload = DecodePayload(std::span(data, size), &error);
    if (!payload) return 0;
    for (const PayloadEntry& entry : payload->entries)
        if (!IsSafePayloadPath(entry.path)) std::abort();
    auto again = DecodePayload(EncodePayload(*payload), &error);
    if (!again || !(*again == *payload)) std::abort();
    return 0;
}
