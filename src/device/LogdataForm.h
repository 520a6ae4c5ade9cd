#pragma once

// The log data window (TLogdataForm) as data: the unit's log lists in a combo box, one list
// read out record by record into a text view, and the text saved as a comma-separated file.
// The unit serves its log through a few registers: writing an index selects a list, reading
// the text registers returns the list's name, its header or a record, the read itself moving
// through the records. Every transaction goes to the port setup's slave address.
//
// Each transaction pumps the user interface while it waits, so the window's buttons and its
// close box are usable during a readout; an abort takes effect after the current record.

#include "host/Prompts.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::modbus {
class TModThread;
class TModbus;
class PortSetup;
} // namespace vantrel::modbus

namespace vantrel::device {

class TDeviceAccess;

// The window's texts, shared with the faces and the tests.
extern const char* const kLogdataCaption;       // "Vantrel - Logdata"
extern const char* const kLogListPrompt;        // "Select a log list to read:"
extern const char* const kLogListPlaceholder;   // "<< select >>"
extern const char* const kReadDataCaption;      // "Read data"
extern const char* const kCancelReadCaption;    // "Cancel"
extern const char* const kSaveLogDataCaption;   // "&Save log data"
extern const char* const kModbusSetupHint;      // "Show / Hide Modbus Setup"
extern const char* const kNoRecordFound;        // "NO RECORD FOUND"
extern const char* const kRawReadError;         // "ERROR!"
extern const char* const kReadoutNotSuccessful; // "Readout NOT successful!"

// The unit's log interface.
namespace logreg {
constexpr uint16_t kListCount = 8192;   // 1 byte
constexpr uint16_t kSelectList = 8193;  // 1 byte, written
constexpr uint16_t kRecordCount = 8194; // 2 bytes
constexpr uint16_t kListName = 8198;
constexpr uint16_t kHeader = 8208;  // "Header_1"
constexpr uint16_t kCurrent = 8214; // "Current_1"
constexpr uint16_t kFirst = 8220;   // "First"
constexpr uint16_t kUp = 8221;      // "Up"
constexpr uint16_t kSerial = 2;     // 2 registers
constexpr int kTextRegisters = 32;
} // namespace logreg

class TLogdataForm {
public:
    // busAddress is asked before every transaction. portSetup, when given, is where the
    // retry count lives (the worker follows it); without one the worker's own count is used.
    TLogdataForm(modbus::TModThread& worker, std::function<uint8_t()> busAddress,
                 modbus::PortSetup* portSetup, host::Prompts& prompts);
    // The program's way: the bus component's worker, address and port setup; the speed
    // button opens the bus component's setup.
    TLogdataForm(modbus::TModbus& bus, host::Prompts& prompts);
    // Puts back the retry count of FormShow if the window was never closed properly.
    ~TLogdataForm();
    TLogdataForm(const TLogdataForm&) = delete;
    TLogdataForm& operator=(const TLogdataForm&) = delete;

    // ---- hooks
    // The PC's local date and time for the readout's lines and the proposed file name.
    std::function<std::tm()> now;
    // The main window's "Popups" setting: with it off questions count as answered Yes.
    std::function<bool()> showPopups;
    // The bus component's ModbusSetupClick (the speed button when the setup is hidden).
    std::function<void()> modbusSetupClick;
    // After every change of the window's state, for the face to refresh (also in the middle
    // of a readout, between two transactions).
    std::function<void()> changed;

    // ---- window state, by the window's control and field names
    std::string caption = kLogdataCaption;
    bool visible = false;
    bool Reading = false;
    bool AbortRequested = false;
    bool UnsavedData = false;
    int savedRetries = 0;
    std::vector<std::string> cbLogLists; // the combo's items
    int cbLogListsIndex = -1;            // -1: nothing selected ("<< select >>")
    std::string btnReadData = kReadDataCaption;
    std::string lblHeader;
    std::vector<std::string> Memo3; // the readout's lines
    // The save dialog's file name: the proposal after a readout, the chosen file after a save.
    std::string saveFileName = "*.csv";
    // Readout progress: records read of the record count the unit announced.
    int recordsRead = 0;
    int recordCount = 0;

    // The unit's list index behind each combo item: a list whose selection failed during the
    // enumeration has no item, so item and list numbers may differ.
    std::vector<int> listIndexes;
    // A readout is running (preliminary reads or the record loop).
    bool Busy() const { return busy_; }
    // The last readout was ended by errors.
    bool Terminated() const { return terminated_; }
    // Memo3 as the file holds it: every line ended by CR LF.
    std::string MemoText() const;

    // ---- operations
    // One read of count registers: the text up to the first zero byte and the first (at most
    // eight) bytes as a big-endian decimal number; on a failure an empty text, "ERROR!".
    bool ReadRawRegisters(uint16_t reg, int count, std::string& text, std::string& value);
    // One readout into Memo3.
    void ReadLogList(const std::string& listName, int listIndex);
    // Memo3 written to path, replacing an old file only once complete.
    bool SaveTo(const std::string& path, std::string* error) const;
    // A file saved before read back into Memo3 (and its header line into lblHeader), as if
    // just saved; false with the reason, Memo3 as it was, when it cannot be read. Not during
    // a readout.
    bool LoadFrom(const std::string& path, std::string* error);

    // ---- event handlers
    void FormShow();
    // Whether the window may close; when it does it is hidden.
    bool FormClose();
    void cbLogListsSelect(int index);
    void btnReadDataClick();
    void Button3Click(); // SaveButton
    // "Open log file...": asks for a saved readout and loads it (LoadFrom); a file that cannot
    // be read is told, the text kept. True when a file was loaded.
    bool OpenLogFileClick();
    void SpeedButton1Click();

private:
    bool Ask(const std::string& text, const std::string& caption, host::PromptIcon icon);
    void Changed();
    void AddLine(std::string line);
    void AddRecordLine(int number, const std::string& text);
    // A raw read repeated after failures while errors stays below limit.
    bool ReadCounted(uint16_t reg, int limit, std::string& text, std::string& value);
    std::string DateTimeText() const;
    // The port has gone or the unit no longer answers at all: the readout ends now, with one
    // message, instead of spending its error counts on a line that is not there.
    bool LineLost();
    enum class SaveOutcome { Saved, Cancelled, Failed };
    SaveOutcome SaveLogData();
    int Retries() const;
    // The retry count set past the port setup's lock: the readout needs exactly one try.
    void ForceRetries(int tries);

    modbus::TModThread& worker_;
    std::function<uint8_t()> busAddress_;
    modbus::PortSetup* portSetup_;
    host::Prompts& prompts_;
    int errors_ = 0;
    bool terminated_ = false;
    bool lineLost_ = false;
    bool busy_ = false;
    bool shown_ = false;
    bool closed_ = false;
};

// The main window's "Read log data": the unit must still be the identified one (the check
// at the bus address, the main window disabled); then a new window for runWindow, which
// shows it (its FormShow runs) and returns once it is hidden, pumping events meanwhile; then
// the main window is enabled again. modbusSetupClick is the bus component's.
void LogdataButtonClick(TDeviceAccess& access, const std::function<void(TLogdataForm&)>& runWindow,
                        const std::function<void()>& modbusSetupClick = {});

} // namespace vantrel::device
