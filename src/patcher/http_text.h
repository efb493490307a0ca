// Small text answers of the update server: the version, size and list files.
#pragma once

#include <cstdint>
#include <string>

#include "platform/http.h"

// Fetches base + "/" + name and appends what arrives to out, one chunk at a time; the text of a chunk
// ends at its first zero byte. Returns the number of bytes received, 0 when the URL cannot be opened.
// The answer's status is not looked at: the callers validate what they read by its value.
uint32_t HttpGetText(const platform::HttpSession& session, std::string& out, const std::string& base,
                     const std::string& name, uint32_t chunkSize);

// A number read from a size file is unusable when it is 404 or, as an unsigned number, below 10.
bool IsInvalidSize(int32_t size);

// The first whitespace-delimited token of text, at most maxLength characters; "@" when there is none.
std::string FirstToken(const std::string& text, size_t maxLength);

// Parses a decimal integer like "%d": true and value set when text begins with a number.
bool ScanDecimal(const std::string& text, int32_t& value);
