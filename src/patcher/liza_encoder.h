// The publishing side of the LIZA container: a token writer that lays out control words and tokens
// as the decoder reads them, and an encoder that finds matches and runs in a whole buffer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The match forms, named by their low bits.
enum class LizaForm {
    Short,   // "00": length 3, offset below 64, 1 byte
    Near,    // "01": length 3, offset below 16384, 2 bytes
    Medium,  // "10": length 3 to 18, offset below 1024, 2 bytes
    Long,    // "011": length 3 to 34, offset below 65536, 3 bytes
    Far,     // "0111": length 3 to 2050, offset below 131072, 4 bytes
};

struct LizaFormLimits {
    uint32_t maxLength;
    uint32_t maxOffset;
    uint32_t tokenBytes;
};

LizaFormLimits LizaLimitsOf(LizaForm form);

inline constexpr uint32_t kLizaMaxRun = 4095;
inline constexpr uint32_t kLizaMinOffset = 4;

// Writes one coded payload. Tokens go in output order; the caller keeps them valid (offsets of at
// least 4 within the output so far, the last bytes as literals) unless it means to build a damaged
// stream.
class LizaTokenWriter {
public:
    void Literal(uint8_t byte);
    // Fields beyond a form's widths are cut to them.
    void Copy(LizaForm form, uint32_t offset, uint32_t length);
    void Run(uint32_t count, uint8_t value);
    // Any group started gets its sentinel; returns the payload.
    std::vector<uint8_t> Finish();

private:
    void Flag(bool match);
    std::vector<uint8_t> m_payload;
    size_t m_controlAt = 0;
    uint32_t m_control = 0;
    int m_flags = 31;
};

// A whole container around a payload: header, payload, trailing magic.
std::vector<uint8_t> LizaContainer(std::span<const uint8_t> payload, uint32_t unpackedSize, bool coded);

// Packs data into a container: coded unless stored is asked for.
std::vector<uint8_t> LizaPack(std::span<const uint8_t> data, bool stored = false);
