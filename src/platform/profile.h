// Private-profile (INI) access with the three operations the launcher's settings code uses. It reads
// files written on Windows (CRLF line ends, blanks around "=", ";" comment lines, section and key
// names in any letter case) and writes files that Windows tools read back the same.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The value of key in section, or def when the file, the section or the key is missing. A value longer
// than bufferSize - 1 characters is cut to that length, as a fixed read buffer would cut it.
std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    size_t bufferSize, std::string_view path);

// The key's value as a decimal integer (optional sign; leading digits only), def when it is missing.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, std::string_view path);

// Creates the file, the section and the key as needed and replaces an existing value; every other line
// stays as it was. The file is replaced whole through a temporary, so a failed write never leaves half
// a settings file behind.
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               std::string_view path);

// The C library's atoi rule: leading blanks, an optional sign, decimal digits up to the first other
// character; no digits give 0. Values outside 32 bits wrap as the Windows conversion does.
int AtoiRule(std::string_view text);

}  // namespace platform
