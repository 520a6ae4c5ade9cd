#pragma once

#include <string>
#include <vector>

namespace vantrel::editor {

enum class ControlKind {
    RadioGroup,  // items, item index
    UnitButtons, // a group box of radio buttons, each with a unit tag; item index = checked
    Edit,        // text
    TimePicker,  // time of day
    DatePicker,  // calendar date
    Button,
    Label,
    ComboBox, // drop-down list: items, item index
    GroupBox, // a frame whose visibility hides what it holds
};

enum class KeyFilter {
    Any,    // every key reaches the edit
    Digits, // only 0-9 and backspace
};

struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
    bool operator==(const TimeOfDay&) const = default;
};

struct CalendarDate {
    int year = 2000, month = 1, day = 1;
    bool operator==(const CalendarDate&) const = default;
};

// One control of the main window, holding what its widget would hold.
struct Control {
    std::string name;
    ControlKind kind = ControlKind::Label;
    std::string page;    // owning page, empty for the button row
    std::string caption; // group caption, button caption
    std::vector<std::string> items;
    std::vector<int> tags;          // unit buttons: the UnitTag of each button
    std::vector<bool> itemsEnabled; // unit buttons: each button's enabled state (missing: on)
    int itemIndex = -1;
    std::string text;
    size_t maxLength = 0; // 0: no limit
    KeyFilter keyFilter = KeyFilter::Any;
    bool readOnly = false;
    bool enabled = true;
    bool visible = true;
    bool highlighted = false; // caption highlighted (device runs mark the control in work)
    bool marked = false;      // its value differs in the last comparison the user asked for
    TimeOfDay time;
    CalendarDate date;
    std::string group; // the group box this control sits in, if any
};

struct Page {
    std::string name;
    std::string caption;
    bool visible = true;
    bool highlighted = false; // tab highlight
};

} // namespace vantrel::editor
