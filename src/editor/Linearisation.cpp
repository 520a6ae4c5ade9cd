#include "editor/Linearisation.h"

#include "editor/ControlTable.h"
#include "editor/EditingRules.h"

#include <algorithm>

namespace vantrel::editor {

namespace {

constexpr int64_t kFactorMax = 9999999;
constexpr int kFactorDigits = 7;

std::array<LinearisationRow, kLinearisationRows> Rows(const char* input, const char* inputLabel,
                                                      const char* factor, const char* factorLabel) {
    std::array<LinearisationRow, kLinearisationRows> rows;
    for (int i = 0; i < kLinearisationRows; ++i) {
        const std::string suffix = kRowSuffixes[i];
        rows[static_cast<size_t>(i)] = {suffix[0], input + suffix, inputLabel + suffix,
                                        factor + suffix, factorLabel + suffix};
    }
    return rows;
}

std::string Padded(std::string digits, size_t width) {
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

} // namespace

const std::array<LinearisationRow, kLinearisationRows>& FrequencyRows() {
    static const auto rows = Rows("FrequencyEdit", "FreqLabel", "FactorEdit", "MFactorLabel");
    return rows;
}

const std::array<LinearisationRow, kLinearisationRows>& PercentageRows() {
    static const auto rows = Rows("PercEdit", "PercLabel", "FactorAEdit", "MFactorALabel");
    return rows;
}

int64_t FactorValue(std::string_view factor) {
    // A negative factor from a file would otherwise print its sign inside the digits.
    return std::clamp<int64_t>(ValueOr(factor, 1), 0, kFactorMax);
}

std::string FormatFactor(std::string_view factor, std::string_view separator) {
    std::string digits = Padded(std::to_string(FactorValue(factor)), kFactorDigits);
    digits.insert(1, separator);
    return digits;
}

std::string NormalisedFactor(std::string_view factor) {
    return std::to_string(FactorValue(factor));
}

std::string FormatFrequency(std::string_view frequency, int decimals, std::string_view separator) {
    const int64_t f = ValueOr(frequency, 0);
    if (f == 0)
        return "not used";
    return ScaledDigits(f, decimals, separator) + " Hz";
}

std::string FormatPercentage(std::string_view percentage, std::string_view separator) {
    const int64_t p = ValueOr(percentage, 0);
    if (p == 0)
        return "not used";
    // Hundredths of a percent: the separator goes before the last two digits, which for the
    // four digits the edit takes is after the second ("0500" -> 05.00).
    const bool negative = p < 0;
    std::string digits = Padded(std::to_string(negative ? -p : p), 4);
    digits.insert(digits.size() - 2, separator);
    return (negative ? "-" : "") + digits + " %";
}

std::string FactorColumnHeading(int factorChoice) {
    switch (factorChoice) {
    case 0:
        return "M-Factors";
    case 1:
        return "Total K-Factors";
    default:
        return "Flowrate K-Factors";
    }
}

} // namespace vantrel::editor
