// Containers for tests: whole containers around a token stream, decoding by both decoders, and a
// walker that counts the token forms of a coded payload.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "patcher/liza.h"
#include "patcher/liza_encoder.h"

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text);

// A coded container of the writer's tokens that decodes to unpackedSize bytes.
Bytes CodedContainer(LizaTokenWriter& writer, uint32_t unpackedSize);

struct Decoded {
    bool ok = false;
    Bytes bytes;
    std::string reason;
};

// The checked decoder, with the output buffer the unpacking gives it.
Decoded CheckedDecode(const Bytes& container);
// The unchecked decoder of the format; only for well-formed containers.
Decoded ReferenceDecode(const Bytes& container);

// How many tokens of each kind a coded container holds: "literal", "run" and the form names.
std::map<std::string, int> CountTokens(const Bytes& container);
