#include "cli/ValueText.h"

#include <algorithm>

namespace vantrel::cli {

std::string DecimalOfBytes(const std::vector<uint8_t>& littleEndian) {
    std::vector<uint8_t> digits(littleEndian.rbegin(), littleEndian.rend()); // big-endian
    std::string text;
    for (;;) {
        bool zero = std::all_of(digits.begin(), digits.end(), [](uint8_t b) { return b == 0; });
        if (zero)
            break;
        unsigned remainder = 0;
        for (uint8_t& b : digits) {
            unsigned current = remainder * 256 + b;
            b = static_cast<uint8_t>(current / 10);
            remainder = current % 10;
        }
        text += static_cast<char>('0' + remainder);
    }
    if (text.empty())
        return "0";
    std::reverse(text.begin(), text.end());
    return text;
}

std::string HexOfBytes(const std::vector<uint8_t>& littleEndian) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (auto it = littleEndian.rbegin(); it != littleEndian.rend(); ++it) {
        if (!text.empty())
            text += ' ';
        text += hex[*it >> 4];
        text += hex[*it & 15];
    }
    return text;
}

std::optional<std::vector<uint8_t>> BytesOfNumber(const std::string& text, int byteCount) {
    if (byteCount < 1 || text.empty())
        return std::nullopt;
    size_t pos = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        pos = 1;
    }
    unsigned base = 10;
    if (text.size() > pos + 2 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= text.size())
        return std::nullopt;
    // Accumulate into one spare byte so that an overflow shows.
    std::vector<uint8_t> bytes(static_cast<size_t>(byteCount) + 1, 0);
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        unsigned carry = digit;
        for (uint8_t& b : bytes) {
            unsigned current = b * base + carry;
            b = static_cast<uint8_t>(current & 0xFF);
            carry = current >> 8;
        }
        if (carry || bytes.back())
            return std::nullopt;
    }
    bytes.pop_back();
    if (negative) {
        // Two's complement; the magnitude may be at most 2^(8n-1).
        bool nonzero = std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b; });
        if (nonzero) {
            unsigned carry = 1;
            for (uint8_t& b : bytes) {
                unsigned current = static_cast<uint8_t>(~b) + carry;
                b = static_cast<uint8_t>(current & 0xFF);
                carry = current >> 8;
            }
            if (!(bytes.back() & 0x80))
                return std::nullopt;
        }
    }
    return bytes;
}

} // namespace vantrel::cli
