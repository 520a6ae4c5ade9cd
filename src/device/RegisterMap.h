#pragma once

// Every configuration parameter the tool moves between a unit and the main window, as one
// table: where it lives on the unit, how many bytes it has, which control holds it and in
// what form, and the names the error question and the logs give it. Read device walks the
// rows in their order; Write device picks them in its own order by identifier.

#include "editor/Control.h"
#include "editor/Form.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vantrel::device {

// How a control holds the value of its register.
enum class ValueForm {
    Choice,      // the selected position; a value beyond the last choice selects the last
    Number,      // decimal digits, no leading zeros
    Hhnn,        // a time of day, hours * 100 + minutes on the unit
    Hhnnss,      // a time of day, hours * 10000 + minutes * 100 + seconds
    YyMMdd,      // a date in 20yy, yy * 10000 + MM * 100 + dd
    Padded4,     // exactly four digits
    Padded7,     // exactly seven digits
    Version,     // VV:VV:VV, shown only
    ModelCheck,  // read only to see that the unit answers; the control shows Device.Model
    Linearisation, // the fifteen entries behind index register 13 and window register 1024
};

// When a row is skipped inside its page.
enum class Condition {
    None,
    WriteHand,        // written only while the unit conversion is "Hand"
    WriteAuto,        // written only while the unit conversion is one of the "Auto" choices
    UnitBoxShown,     // read only while FlowmeterUnitGroupBox is visible; written under "Auto"
    NotWritten,       // read only (calibration points, identification, the second 1051 read)
    PasswordGiven,    // written only when the field is not empty
    DataBitsEnabled,  // read and written only while CommunicDatabitsGroup is enabled
    TimeEdited,       // written only after the time button was used
    ZeroSentAsOne,    // a field value of 0 goes to the unit as 1
};

struct Parameter {
    int step;               // the step of Read device that reads it (1 ... 16)
    const char* page;       // the page that must be shown
    const char* identifier; // SECTION/KEY of the configuration file, "" when none
    uint16_t reg;
    uint8_t bytes;
    const char* control;
    ValueForm form;
    const char* readLabel;
    const char* writeLabel; // "" when Write device never writes it
    Condition condition;
};

// The whole map, in the order Read device reads it.
std::span<const Parameter> Parameters();

// The row with this identifier and page (identifiers repeat for 1051); nullptr when none.
const Parameter* FindParameter(const std::string& identifier, int step = 0);

// Register value to control text, for the digit forms.
std::string NumberText(uint64_t value);

// Register value to a time or date; nothing when it is not one (minutes beyond 59...).
std::optional<editor::TimeOfDay> HhnnTime(uint64_t value);
std::optional<editor::TimeOfDay> HhnnssTime(uint64_t value);
std::optional<editor::CalendarDate> YyMMddDate(uint64_t value);

// Puts a register value into the row's control. today is the date an invalid date falls
// back to. Not for ModelCheck and Linearisation, which the runs place themselves.
void PlaceValue(editor::Form& form, const Parameter& row, uint64_t value,
                const editor::CalendarDate& today);

// The integer a control's value goes to the unit as: the selected position of a choice,
// the text of an edit, hours/minutes(/seconds) of a time, yyMMdd of a date. Nothing when
// the control cannot say (a text that is not a whole number, nothing selected).
std::optional<int64_t> ControlValue(const editor::Form& form, const std::string& control,
                                    ValueForm form_);

// Whether the value fits the byte count as the unit stores it (non-negative, below 2^(8N)).
bool FitsBytes(int64_t value, int bytes);

// Which rows run now, by their conditions and the window's state.
bool ReadsNow(const editor::Form& form, const Parameter& row);
bool WritesNow(const editor::Form& form, const Parameter& row);

// The control whose caption a run highlights for a control: its group box, the box of
// buttons of a hidden unit group, or the control itself.
std::string CaptionControl(const editor::Form& form, const std::string& control);

// The linearisation window value and its halves.
constexpr uint64_t kFactorShift = uint64_t{1} << 24;
inline uint64_t LinearisationWindow(uint64_t factor, uint64_t frequency) {
    return (factor % kFactorShift) * kFactorShift + frequency % kFactorShift;
}

} // namespace vantrel::device
