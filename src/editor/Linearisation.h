#pragma once

// The fifteen-point linearisation table on its two pages: the frequency table of the pulse
// variant and the percentage table of the analog variant. Rows are named by the hexadecimal
// digits 1 ... 9, A ... F; each row pairs an input edit with a correction factor edit, and
// each edit has a read-only label that shows its value.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::editor {

struct LinearisationRow {
    char id; // '1' ... '9', 'A' ... 'F', shown under "#"
    std::string inputEdit, inputLabel, factorEdit, factorLabel;
};

constexpr int kLinearisationRows = 15;
const std::array<LinearisationRow, kLinearisationRows>& FrequencyRows();
const std::array<LinearisationRow, kLinearisationRows>& PercentageRows();

// The factor in millionths as the label shows it: 1 when the text is not an integer, kept in
// 0 ... 9999999.
int64_t FactorValue(std::string_view factor);
// d.dddddd of the factor.
std::string FormatFactor(std::string_view factor, std::string_view separator);
// What the factor edit holds after normalisation: the label's value without its separator
// and leading zeros.
std::string NormalisedFactor(std::string_view factor);

// A frequency in units of its last decimal: "not used" for 0, else with `decimals` decimals
// and " Hz".
std::string FormatFrequency(std::string_view frequency, int decimals, std::string_view separator);
// A percentage in hundredths: "not used" for 0, else dd.dd and " %".
std::string FormatPercentage(std::string_view percentage, std::string_view separator);

// The heading of the factor column (`Label7`) for a calculation-factor choice.
std::string FactorColumnHeading(int factorChoice);

} // namespace vantrel::editor
