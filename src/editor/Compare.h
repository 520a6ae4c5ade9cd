#pragma once

// Two configurations of one model side by side: a snapshot of the parameter values of a
// Form as its window shows them, and the differences of two snapshots in the order of the
// pages. The snapshot is taken after the derived labels are up to date, so that a number
// reads as its "Value =" label shows it, with its unit.

#include "editor/Form.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::editor {

// One parameter as the window shows it.
struct ShownValue {
    std::string page;        // the page's name ("TotalSheet")
    std::string control;     // the control that holds it; a linearisation row: its input edit
    std::string pageCaption; // the page's tab ("Total")
    std::string parameter;   // the control's caption ("K-Factor"); a linearisation row: "Row 3"
    std::string value;       // what is compared: the value as the unit stores it
    std::string text;        // what the user sees: "1.000 pulses / L", "m³", "12:30"
    // The window shows it and a write would send it: its box is visible, its choice enabled,
    // a password is given, the unit's clock was set by hand.
    bool counts = true;
};

struct Snapshot {
    std::string model; // the model the pages are of
    std::vector<ShownValue> values;
};

struct Difference {
    std::string page, control; // where the window shows it
    std::string pageCaption, parameter;
    std::string from, to; // both values as the user sees them
};

// The parameters of the pages shown, in page order. Pages that are hidden (the model has no
// such page) are not in it.
Snapshot TakeSnapshot(const Form& form);

// Drops the parameters whose control is not among `controls` (what a configuration file
// does not hold, say).
void KeepOnly(Snapshot& snapshot, const std::vector<std::string>& controls);

// Every parameter that counts in `to` whose value differs in `from`; a parameter `from` does
// not have is not compared. Nothing when the snapshots are of two models.
std::optional<std::vector<Difference>> Differences(const Snapshot& from, const Snapshot& to);

// "Total - K-Factor: unit 1.000 pulses / L, file 1.250 pulses / L".
std::string DifferenceLine(const Difference& difference, const std::string& fromName,
                           const std::string& toName);

// The confirmation's line when nothing differs.
extern const char* const kNoValuesDiffer;

} // namespace vantrel::editor
