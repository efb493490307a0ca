// Small text answers of the update server: the version, size and list files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/transfer.h"

// Starts the fetch of base + "/" + name (at most 999 characters) as a text answer of at most
// maxBytes; a longer answer fails.
// With an expected SHA-256, the answer must have exactly expectedSize bytes and that hash.
std::unique_ptr<platform::Transfer> StartTextRequest(const platform::HttpSession& session,
                                                     const std::string& base, const std::string& name,
                                                     uint64_t maxBytes, uint64_t expectedSize = 0,
                                                     const std::string& expectedSha256 = "");

// The text of a finished request as the launcher reads its text answers: in chunks of chunkSize bytes,
// the text of each chunk ending at its first zero byte. Returns the number of bytes received, 0 when
// the request failed (no connection, an error status, too large or too slow an answer).
uint32_t TakeText(const platform::Transfer& request, std::string& out, uint32_t chunkSize);

// A number read from a size file is unusable when it is 404 or, as an unsigned number, below 10.
bool IsInvalidSize(int32_t size);

// The first whitespace-delimited token of text, at most maxLength characters; "@" when there is none.
std::string FirstToken(const std::string& text, size_t maxLength);

// Parses a decimal integer like "%d": true and value set when text begins with a number.
bool ScanDecimal(const std::string& text, int32_t& value);
