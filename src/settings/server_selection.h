// The language and server choices: their name tables and the "language:" and "server:" arguments of
// the launcher's command line.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/settings_records.h"

enum nLanguageType { Language_Taiwan = 0, Language_English = 1, Language_None = 2 };
enum nServerType { Server_Orvin = 0, Server_Kessa = 1, Server_None = 2 };

struct FEnumToString_LanguageType {
    std::vector<std::string> names{"Taiwan", "English"};
};
struct FEnumToString_ServerType {
    std::vector<std::string> names{"Orvin", "Kessa"};
};

template <typename Traits, typename Enum>
class TEnumToString {
public:
    TEnumToString() { Init(); }
    virtual ~TEnumToString() = default;
    virtual void Init() {
        for (size_t i = 0; i < m_traits.names.size(); ++i) m_values[m_traits.names[i]] = static_cast<Enum>(i);
    }
    // The value named exactly text; the "none" value (2) when no name matches.
    virtual Enum FromString(const std::string& text) const {
        auto found = m_values.find(text);
        return found == m_values.end() ? static_cast<Enum>(2) : found->second;
    }
    virtual std::string ToString(Enum value) const {
        auto index = static_cast<size_t>(static_cast<unsigned>(value));
        return index < m_traits.names.size() ? m_traits.names[index] : std::string();
    }

private:
    Traits m_traits;
    std::map<std::string, Enum> m_values;
};

using LanguageNames = TEnumToString<FEnumToString_LanguageType, nLanguageType>;
using ServerNames = TEnumToString<FEnumToString_ServerType, nServerType>;

// Reads "language:" and "server:" from arguments (the program's own path first) into settings; true
// when both were given and neither is 2. A value that is not a number, or does not fit 32 bits, is
// ignored.
bool ParseLanguageServerArguments(LaunchSettings& settings, const std::vector<std::string>& arguments);
