// The installed client's version, kept in the first 12 bytes of List.mfm in the client folder.
#pragma once

#include <optional>
#include <string>

// The version text of List.mfm: the bytes up to the first zero byte within the first 12. No value when
// the file cannot be read or is shorter than 12 bytes. Twelve bytes without a zero give a version of
// 12 characters, taken whole.
std::optional<std::string> ReadClientVersionFile(const std::string& clientFolder);
