// orl-liza: packs, unpacks and describes LIZA containers, the update archives of the update server.
//   orl-liza pack [--stored] IN OUT    writes a container of IN's bytes
//   orl-liza unpack IN OUT             writes the unpacked bytes; a damaged container leaves no OUT
//   orl-liza info IN                   prints the header
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "patcher/liza.h"
#include "patcher/liza_encoder.h"
#include "platform/files.h"
#include "platform/large_buffer.h"

namespace {

int Fail(const std::string& what) {
    std::fprintf(stderr, "orl-liza: %s\n", what.c_str());
    return 1;
}

// Writes through a temporary beside path, renamed into place when everything was written.
bool WriteWhole(const char* path, const uint8_t* data, size_t size, std::string* error) {
    platform::AtomicFile out(path);
    if (out.Write(data, size) && out.Commit()) return true;
    *error = std::string(path) + ": " + std::strerror(out.Error() != 0 ? out.Error() : EIO);
    return false;
}

int Pack(const char* in, const char* out, bool stored) {
    platform::MappedFile input(in);
    if (input.empty()) return Fail(std::string(in) + ": " + input.error());
    // The container's sizes are 32-bit fields.
    if (input.size() > UINT32_MAX - kLizaHeaderSize - kLizaTrailerSize - input.size() / 8 - 64)
        return Fail(std::string(in) + ": too large for a LIZA container");
    std::vector<uint8_t> container = LizaPack(std::span<const uint8_t>(input.data(), input.size()), stored);
    std::string error;
    if (!WriteWhole(out, container.data(), container.size(), &error)) return Fail(error);
    return 0;
}

int Unpack(const char* in, const char* out) {
    platform::MappedFile input(in);
    if (input.empty()) return Fail(std::string(in) + ": " + input.error());
    std::span<const uint8_t> container(input.data(), input.size());
    LizaHeader header;
    if (!LizaReadHeader(container, &header) || header.magic != kLizaMagic)
        return Fail(std::string(in) + ": not a LIZA container");
    platform::LargeBuffer output(static_cast<size_t>(header.unpackedSize) + kLizaOutputSlack);
    if (output.empty()) return Fail(std::string(in) + ": no memory for the unpacked bytes");
    LizaResult result = LizaUnpack(container, std::span<uint8_t>(output.data(), output.size()));
    if (!result.ok) return Fail(std::string(in) + ": " + result.reason);
    std::string error;
    if (!WriteWhole(out, output.data(), result.size, &error)) return Fail(error);
    return 0;
}

int Info(const char* in) {
    platform::MappedFile input(in);
    if (input.empty()) return Fail(std::string(in) + ": " + input.error());
    LizaHeader header;
    if (!LizaReadHeader(std::span<const uint8_t>(input.data(), input.size()), &header) ||
        header.magic != kLizaMagic)
        return Fail(std::string(in) + ": not a LIZA container");
    std::printf("level %u\ncontainer size %u\nunpacked size %u\n%s\n", header.level, header.containerSize,
                header.unpackedSize, header.codingFlag == 1 ? "coded" : "stored");
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: orl-liza pack [--stored] IN OUT\n"
                 "       orl-liza unpack IN OUT\n"
                 "       orl-liza info IN\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "pack") {
        bool stored = argc == 5 && std::strcmp(argv[2], "--stored") == 0;
        if (argc != 4 && !stored) return Usage();
        return Pack(argv[argc - 2], argv[argc - 1], stored);
    }
    if (command == "unpack" && argc == 4) return Unpack(argv[2], argv[3]);
    if (command == "info" && argc == 3) return Info(argv[2]);
    return Usage();
}
