#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

// Unsigned decimal text of a value given least significant byte first (any length).
std::string DecimalOfBytes(const std::vector<uint8_t>& littleEndian);

// "12 AB 00": the bytes most significant first.
std::string HexOfBytes(const std::vector<uint8_t>& littleEndian);

// The byteCount low bytes of a decimal (or 0x hexadecimal) number, least significant first.
// A negative number gives its two's complement. Fails on anything that is not a number or
// does not fit in byteCount bytes.
std::optional<std::vector<uint8_t>> BytesOfNumber(const std::string& text, int byteCount);

} // namespace vantrel::cli
