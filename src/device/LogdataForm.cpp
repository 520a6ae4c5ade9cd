#include "device/LogdataForm.h"

#include "common/Device.h"
#include "common/FileUtil.h"
#include "device/DeviceAccess.h"
#include "device/LogSeries.h"
#include "modbus/Bus.h"
#include "modbus/ModThread.h"
#include "modbus/PortSetup.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vantrel::device {

using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

const char* const kLogdataCaption = "Vantrel - Logdata";
const char* const kLogListPrompt = "Select a log list to read:";
const char* const kLogListPlaceholder = "<< select >>";
const char* const kReadDataCaption = "Read data";
const char* const kCancelReadCaption = "Cancel";
const char* const kSaveLogDataCaption = "&Save log data";
const char* const kModbusSetupHint = "Show / Hide Modbus Setup";
const char* const kNoRecordFound = "NO RECORD FOUND";
const char* const kRawReadError = "ERROR!";
const char* const kReadoutNotSuccessful = "Readout NOT successful!";

namespace {

constexpr const char* kSelectListText = "Please select a list to read.";
constexpr const char* kSelectListCaption = "Please select a list";
constexpr const char* kStillReadingText = "Still reading log data, would you like to abort?";
constexpr const char* kStillReadingForFileText =
    "A readout is running: open the file once it has ended.";
constexpr const char* kStillReadingCaption = "Still reading";
constexpr const char* kNotSavedText =
    "You have not saved your data, would you like to do this now?";
constexpr const char* kNotSavedCaption = "Data not exported";
constexpr const char* kCancelReadingText =
    "This will cancel the reading operation. Do you wish to proceed?";
constexpr const char* kCancelReadingCaption = "Cancel reading";
constexpr const char* kSaveTitle = "Logdata - save to file...";
constexpr const char* kOpenTitle = "Logdata - open a saved readout";
constexpr const char* kSaveFilter = "Comma separated|*.csv|Any file|*.*";
constexpr const char* kSaveExtension = "csv";

// Limits of the failures a readout may have counted by the end of each step.
constexpr int kSerialErrorLimit = 5;
constexpr int kHeaderErrorLimit = 10;
constexpr int kFirstRecordErrorLimit = 15;
constexpr int kReadoutErrorLimit = 100;
constexpr int kRecordFailureLimit = 5;
constexpr int kListNameLength = 16;
constexpr size_t kRuleLength = 71;
constexpr size_t kRawBufferBytes = 1026;
constexpr int kSelectTries = 3;
constexpr const char* kNotSelectedText =
    "The log list could not be selected on the unit, so nothing was read. Please try again.";
constexpr const char* kCountUnknownText =
    "The number of records in this list is unknown: it could not be read.";

// "ERROR!" and any other text that is no number count as 0.
uint64_t NumberOf(const std::string& value) {
    char* end = nullptr;
    const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
    return end && end != value.c_str() ? n : 0;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A list name comes from the unit: it must not lead the proposed file into another folder.
// A list name in a proposed file name: the characters no file name may hold on any desktop
// the file may travel to, and the pattern characters a save dialog would take the name for a
// filter by, become "_".
std::string FileNamePart(std::string text) {
    for (char& c : text)
        if (std::strchr("/\\*?:\"<>|[]\x7F", c) || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return text;
}

} // namespace

TLogdataForm::TLogdataForm(modbus::TModThread& worker, std::function<uint8_t()> busAddress,
                           modbus::PortSetup* portSetup, host::Prompts& prompts)
    : now(LocalNow), worker_(worker), busAddress_(std::move(busAddress)), portSetup_(portSetup),
      prompts_(prompts) {}

TLogdataForm::TLogdataForm(modbus::TModbus& bus, host::Prompts& prompts)
    : TLogdataForm(
          *bus.ModThread(), [&bus] { return bus.GetBusAddress(); }, bus.ModConfigForm(), prompts) {
    modbusSetupClick = [&bus] { bus.ModbusSetupClick(); };
}

TLogdataForm::~TLogdataForm() {
    if (shown_ && !closed_)
        ForceRetries(savedRetries);
}

std::string TLogdataForm::MemoText() const {
    std::string text;
    for (const std::string& line : Memo3)
        text += line + "\r\n";
    return text;
}

bool TLogdataForm::SaveTo(const std::string& path, std::string* error) const {
    return WriteFileAtomically(path, MemoText(), error);
}

bool TLogdataForm::LoadFrom(const std::string& path, std::string* error) {
    if (busy_) {
        if (error)
            *error = kStillReadingForFileText;
        return false;
    }
    std::vector<std::string> lines;
    if (!ReadLogFileLines(path, lines, error))
        return false;
    Memo3 = std::move(lines);
    lblHeader.clear();
    for (const std::string& line : Memo3)
        if (line.rfind("## read;", 0) == 0) {
            lblHeader = line;
            break;
        }
    recordsRead = recordCount = 0;
    saveFileName = path;
    UnsavedData = false;
    Changed();
    return true;
}

// ---------------------------------------------------------------------------------------
// Reads.

bool TLogdataForm::ReadRawRegisters(uint16_t reg, int count, std::string& text,
                                    std::string& value) {
    count = std::clamp(count, 1, 127);
    const int bytes = 2 * count;
    std::array<uint8_t, kRawBufferBytes> buffer{};
    const int result =
        worker_.ReadRegisters(buffer.data(), busAddress_(), reg, static_cast<uint8_t>(bytes));
    if (result != modbus::kTransactionDone) {
        text.clear();
        value = kRawReadError;
        return false;
    }
    // The worker hands the value over least significant byte first; back to wire order:
    // the words end for end, then the two bytes inside every word.
    for (int i = 0, j = count - 1; i < j; ++i, --j) {
        std::swap(buffer[2 * i], buffer[2 * j]);
        std::swap(buffer[2 * i + 1], buffer[2 * j + 1]);
    }
    for (int i = 0; i < count; ++i)
        std::swap(buffer[2 * i], buffer[2 * i + 1]);

    const auto end = std::find(buffer.begin(), buffer.begin() + bytes, uint8_t{0});
    text.assign(buffer.begin(), end);
    uint64_t number = 0;
    for (int i = 0; i < std::min(bytes, 8); ++i)
        number = number << 8 | buffer[i];
    value = std::to_string(number);
    return true;
}

bool TLogdataForm::ReadCounted(uint16_t reg, int limit, std::string& text, std::string& value) {
    bool ok = ReadRawRegisters(reg, logreg::kTextRegisters, text, value);
    while (!ok && errors_ < limit && !LineLost()) {
        ++errors_;
        ok = ReadRawRegisters(reg, logreg::kTextRegisters, text, value);
    }
    return ok;
}

std::string TLogdataForm::DateTimeText() const {
    const std::tm tm = now();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

void TLogdataForm::ReadLogList(const std::string& listName, int listIndex) {
    busy_ = true;
    errors_ = 0;
    terminated_ = false;
    recordsRead = 0;
    recordCount = 0;
    const int rememberedRetries = Retries();
    ForceRetries(1);
    const uint8_t address = busAddress_();
    std::string text, value;

    // The list is selected again when the selection did not go through: whatever list the
    // unit has selected otherwise would be read and saved under this one's name.
    const uint8_t index = static_cast<uint8_t>(listIndex);
    bool selected = false;
    lineLost_ = false;
    for (int tries = 0; tries < kSelectTries && !selected && !LineLost(); ++tries) {
        selected = worker_.WriteRegisters(&index, address, logreg::kSelectList, 1) ==
                   modbus::kTransactionDone;
        if (!selected)
            ++errors_;
    }
    bool countKnown = false;
    if (selected && ReadRawRegisters(logreg::kRecordCount, 1, text, value)) {
        recordCount = static_cast<int>(NumberOf(value));
        countKnown = true;
    }
    Changed();

    bool ok = false;
    if (selected) {
        // The serial number: a read of two registers, retried while the count allows.
        ok = ReadRawRegisters(logreg::kSerial, 2, text, value);
        while (!ok && errors_ < kSerialErrorLimit && !LineLost()) {
            ++errors_;
            ok = ReadRawRegisters(logreg::kSerial, 2, text, value);
        }
    } else {
        value = kRawReadError;
        if (!lineLost_)
            prompts_.Inform(kNotSelectedText, kLogdataCaption, PromptIcon::Error);
    }
    const std::string serialText = PaddedDigits(static_cast<int64_t>(NumberOf(value)), 7);
    terminated_ = !selected || errors_ >= kSerialErrorLimit || lineLost_;
    const std::string startedAt = DateTimeText();

    if (!terminated_) {
        Memo3.clear();
        AddLine("Readout of " + listName + " for s/n " + serialText + " at " + startedAt);
        AddLine(countKnown ? "There are " + std::to_string(recordCount) + " records in this list."
                           : std::string(kCountUnknownText));
        AddLine(std::string(kRuleLength, '='));
        ReadCounted(logreg::kHeader, kHeaderErrorLimit, text, value);
        lblHeader = "## read;" + text;
        AddLine(lblHeader);
        terminated_ = errors_ >= kHeaderErrorLimit || lineLost_;
    }

    bool listEnded = false;
    int number = 1;
    if (!terminated_) {
        ReadCounted(logreg::kFirst, kFirstRecordErrorLimit, text, value);
        AddRecordLine(number, text);
        listEnded = text == kNoRecordFound;
        terminated_ = errors_ >= kFirstRecordErrorLimit || lineLost_;
    }

    while (!terminated_ && !listEnded) {
        Reading = true;
        int recordFailures = 0;
        const std::string previous = text;
        ok = ReadRawRegisters(logreg::kUp, logreg::kTextRegisters, text, value);
        // After a failed "Up" the current record tells where the unit is: the record before
        // means the "Up" never reached it (it did not move on), so "Up" is asked again rather
        // than that record taken twice; another record means only the answer was lost.
        while (!ok && recordFailures < kRecordFailureLimit && !LineLost()) {
            ++errors_;
            ++recordFailures;
            ok = ReadRawRegisters(logreg::kCurrent, logreg::kTextRegisters, text, value);
            if (ok && text == previous && previous != kNoRecordFound)
                ok = ReadRawRegisters(logreg::kUp, logreg::kTextRegisters, text, value);
        }
        terminated_ =
            errors_ >= kReadoutErrorLimit || recordFailures >= kRecordFailureLimit || lineLost_;
        AddRecordLine(++number, text);
        listEnded = text == kNoRecordFound;
        if (AbortRequested)
            break;
    }

    AddLine(std::string(kRuleLength, '='));
    AddLine("End of readout: " + listName + " - " + serialText + " - " + DateTimeText());
    if (terminated_) {
        AddLine("Total number of errors: " + std::to_string(errors_) +
                " - errors forced termination of readout.");
        AddLine(kReadoutNotSuccessful);
    } else {
        AddLine("Total number of retries: " + std::to_string(errors_));
    }

    Reading = false;
    std::string stamp = startedAt;
    std::replace(stamp.begin(), stamp.end(), ':', '-');
    saveFileName = FolderOf(saveFileName) + FileNamePart(listName) + " - " + serialText + " - " +
                   stamp + ".csv";

    ForceRetries(rememberedRetries);
    btnReadData = kReadDataCaption;
    busy_ = false;
    // The window was closed meanwhile: the count it found when shown is in force again.
    if (closed_)
        ForceRetries(savedRetries);
    Changed();
}

bool TLogdataForm::LineLost() {
    if (lineLost_)
        return true;
    const std::string lost = LostLineText(worker_);
    if (lost.empty())
        return false;
    lineLost_ = true;
    prompts_.Inform(lost, kLogdataCaption, PromptIcon::Error);
    return true;
}

void TLogdataForm::AddLine(std::string line) {
    Memo3.push_back(std::move(line));
    Changed();
}

void TLogdataForm::AddRecordLine(int number, const std::string& text) {
    if (text != kNoRecordFound)
        ++recordsRead;
    AddLine(PaddedDigits(number, 7) + ";" + text);
}

// ---------------------------------------------------------------------------------------
// Handlers.

void TLogdataForm::FormShow() {
    visible = true;
    shown_ = true;
    closed_ = false;
    savedRetries = Retries();
    ForceRetries(1);
    const uint8_t address = busAddress_();

    uint8_t lists = 0;
    if (worker_.ReadRegisters(&lists, address, logreg::kListCount, 1) != modbus::kTransactionDone)
        lists = 0;
    cbLogLists.clear();
    listIndexes.clear();
    cbLogListsIndex = -1;
    for (int i = 0; i < lists; ++i) {
        const uint8_t index = static_cast<uint8_t>(i);
        if (worker_.WriteRegisters(&index, address, logreg::kSelectList, 1) !=
            modbus::kTransactionDone)
            continue;
        std::string name, value;
        ReadRawRegisters(logreg::kListName, logreg::kTextRegisters, name, value);
        name.resize(std::min(name.size(), static_cast<size_t>(kListNameLength)));
        while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ')
            name.pop_back();
        cbLogLists.push_back(name);
        listIndexes.push_back(i);
    }
    Reading = false;
    AbortRequested = false;
    Changed();
}

bool TLogdataForm::FormClose() {
    // A readout still in its first reads counts as running too: closing must end it, not
    // leave it reading the whole list behind a hidden window.
    if (Reading || busy_) {
        if (!Ask(kCancelReadingText, kCancelReadingCaption, PromptIcon::Question))
            return false;
        AbortRequested = true;
    } else if (UnsavedData) {
        if (Ask(kNotSavedText, kNotSavedCaption, PromptIcon::Error))
            Button3Click();
    }
    visible = false;
    closed_ = true;
    if (!busy_)
        ForceRetries(savedRetries);
    Changed();
    return true;
}

void TLogdataForm::cbLogListsSelect(int index) {
    if (index < -1 || index >= static_cast<int>(cbLogLists.size()))
        return;
    cbLogListsIndex = index;
    Changed();
}

void TLogdataForm::btnReadDataClick() {
    if (cbLogListsIndex < 0 || cbLogListsIndex >= static_cast<int>(cbLogLists.size())) {
        prompts_.Inform(kSelectListText, kSelectListCaption, PromptIcon::None);
        return;
    }
    // A click while any readout runs (its first reads too) is a request to stop it; a second
    // readout never starts inside the first.
    if (Reading || busy_) {
        if (Ask(kStillReadingText, kStillReadingCaption, PromptIcon::Error)) {
            AbortRequested = true;
            Changed();
        }
        return;
    }
    if (!Memo3.empty() && UnsavedData) {
        // With popups off the tool answers the question itself; a save dialog the user then
        // cancels is the user's own "No", so the readout goes on instead of asking again at
        // every click. A save that failed keeps the text and stops.
        const bool userAsked = !showPopups || showPopups();
        if (Ask(kNotSavedText, kNotSavedCaption, PromptIcon::Error)) {
            if (SaveLogData() != SaveOutcome::Cancelled || userAsked)
                return;
        }
    }
    AbortRequested = false;
    btnReadData = kCancelReadCaption;
    Changed();
    const int item = cbLogListsIndex;
    ReadLogList(cbLogLists[item], listIndexes[item]);
    UnsavedData = true;
    Changed();
}

void TLogdataForm::Button3Click() { SaveLogData(); }

bool TLogdataForm::OpenLogFileClick() {
    host::FileDialogOptions options;
    options.title = kOpenTitle;
    options.folder = FolderOf(saveFileName);
    options.filter = kSaveFilter;
    options.defaultExtension = kSaveExtension;
    options.mustExist = true;
    const std::optional<std::string> path = prompts_.OpenFileName(options);
    if (!path)
        return false;
    std::string error;
    const bool loaded = LoadFrom(*path, &error);
    if (!loaded)
        prompts_.Inform("The log file could not be opened.\r\n" + error, kOpenTitle,
                        PromptIcon::Error);
    Changed();
    return loaded;
}

TLogdataForm::SaveOutcome TLogdataForm::SaveLogData() {
    host::FileDialogOptions options;
    options.title = kSaveTitle;
    options.fileName = saveFileName;
    options.folder = FolderOf(saveFileName);
    options.filter = kSaveFilter;
    options.defaultExtension = kSaveExtension;
    options.overwritePrompt = true;
    const std::optional<std::string> path = prompts_.SaveFileName(options);
    if (!path)
        return SaveOutcome::Cancelled;
    saveFileName = *path;
    std::string error;
    if (!SaveTo(*path, &error)) {
        prompts_.Inform("The log data could not be saved.\r\n" + error, kSaveTitle,
                        PromptIcon::Error);
        Changed();
        return SaveOutcome::Failed;
    }
    UnsavedData = false;
    Changed();
    return SaveOutcome::Saved;
}

void TLogdataForm::SpeedButton1Click() {
    if (portSetup_ && portSetup_->visible)
        portSetup_->CloseButtonClick();
    else if (modbusSetupClick)
        modbusSetupClick();
    Changed();
}

// ---------------------------------------------------------------------------------------

bool TLogdataForm::Ask(const std::string& text, const std::string& caption, PromptIcon icon) {
    if (showPopups && !showPopups())
        return true;
    return prompts_.Ask(text, caption, icon, PromptButtons::YesNo) == PromptAnswer::Yes;
}

void TLogdataForm::Changed() {
    if (changed)
        changed();
}

int TLogdataForm::Retries() const {
    return portSetup_ ? portSetup_->GetRetries() : worker_.Retries();
}

void TLogdataForm::ForceRetries(int tries) {
    if (portSetup_ && portSetup_->GetRetries() != tries) {
        const bool locked = portSetup_->lockSettings;
        if (locked)
            portSetup_->LockCheckBoxClick(false);
        portSetup_->SetRetriesValue(tries);
        if (locked)
            portSetup_->LockCheckBoxClick(true);
    }
    worker_.SetRetries(tries);
}

// ---------------------------------------------------------------------------------------

void LogdataButtonClick(TDeviceAccess& access, const std::function<void(TLogdataForm&)>& runWindow,
                        const std::function<void()>& modbusSetupClick) {
    if (!access.CheckBeforeRun(SameDeviceCallerFor("Read log data")))
        return;
    TLogdataForm window(
        access.Worker(), [&access] { return access.BusAddress(); }, access.portSetup,
        access.UserPrompts());
    window.now = access.now;
    window.showPopups = [&access] { return access.MainForm().ShowPopups; };
    window.modbusSetupClick = modbusSetupClick;
    access.SetWindowEnabled(false);
    if (runWindow)
        runWindow(window);
    access.SetWindowEnabled(true);
}

} // namespace vantrel::device
