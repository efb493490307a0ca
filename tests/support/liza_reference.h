// The LIZA decoder exactly as the format defines it, with no checks at all: the oracle that the
// launcher's checked decoder and the encoder are held against. Both buffers need their slack.
#pragma once

#include <cstddef>
#include <cstdint>

size_t ReferenceLizaUnpack(const uint8_t* container, uint8_t* out);
