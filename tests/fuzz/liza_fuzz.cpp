// Feeds arbitrary bytes to the LIZA decoder as a container. The decoder must never read or write
// outside its two buffers, and an accepted container must give exactly its unpacked size.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "patcher/liza.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> container(data, size);
    // The output gets exactly the room the decoder asks for, so any write past it is caught; sizes
    // beyond 1 MiB are cut to keep the runs fast (the decoder refuses a buffer that is too small).
    size_t unpacked = LizaGetUnpackedSize(container);
    size_t capacity = std::min<size_t>(unpacked, size_t{1} << 20) + kLizaOutputSlack;
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
    LizaResult result = LizaUnpack(container, std::span<uint8_t>(out.get(), capacity));
    if (result.ok && result.size != unpacked) std::abort();
    return 0;
}
