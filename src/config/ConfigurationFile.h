#pragma once

// The configuration file as data: which sections and keys it holds, in which order they are
// written and read, which control each one belongs to and when it is written. The writer and
// the reader walk these rows; the Form is the only place values come from or go to.

#include "editor/Control.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::config {

enum class ValueKind {
    Choice, // radio group: the zero-based item index, "-1" for none
    Number, // edit: written as its text, read as an integer
    Text,   // edit: its text both ways
    Time,   // time picker: the long time format
};

// When the writer emits a key line.
enum class Written {
    Always,
    VariantA,      // ActiveVariant "A" or "U"
    OtherVariants, // any other ActiveVariant, the empty one included
    Linearisation, // an ID that begins with "R212", or the frequency table page on show
    NotInDefaults, // normal mode only
};

// What the reader puts into the control in defaults mode, where the file is not consulted
// for the NotInDefaults rows.
enum class DefaultsModeValue {
    ReaderDefault,
    Empty,
    DeviceModel,
    DeviceVersion,
    DeviceSerial,
};

struct KeyRow {
    std::string section;
    std::string key;
    std::string control;
    ValueKind kind;
    std::string readerDefault;
    Written written;
    DefaultsModeValue defaultsModeValue = DefaultsModeValue::ReaderDefault;
};

// Every row in written order.
const std::vector<KeyRow>& ConfigurationKeys();
// The same rows in the order the reader puts values into controls; the handlers of one
// control may look at another, so the order is kept as the tool always had it.
const std::vector<const KeyRow*>& ReadOrder();
// The row of SECTION/KEY (exact upper-case names), or nullptr.
const KeyRow* FindKey(std::string_view section, std::string_view key);

// Width of the key field of every key line.
constexpr size_t kKeyFieldWidth = 15;
// "KEY" padded with blanks to the key field, the separator and the value.
std::string KeyLine(std::string_view key, std::string_view separator, std::string_view value);

// A file of ID `id` belongs to `expectedModel` when the ID's first five characters are the
// model name (the families whose name is five characters long), when it is the model name
// followed by "_000000", or when it is the model name, "_" and six digits: the name a unit
// with a firmware version gives its own files.
bool ModelMatches(std::string_view id, std::string_view expectedModel);

// Time of day as the files hold it ("14:05:09").
std::string TimeText(editor::TimeOfDay time);
// "H:MM", "H:MM:SS", each also with " AM" / " PM" (any case, blank optional) as written
// under a 12-hour long time format. Nothing when the text is not a time of day.
std::optional<editor::TimeOfDay> ParseTime(std::string_view text);

// A choice as the file holds it, within what the group can show: below -1 is none, above
// the last item the last item (as a radio group takes an index it has no button for).
int ClampChoice(int64_t index, size_t itemCount);
// A number's text as the reader accepts it: a 32-bit integer, else nothing.
std::optional<int32_t> FileInteger(std::string_view text);

} // namespace vantrel::config
