#pragma once

// The port setup dialog (TModConfigForm) as data: every control under its own name with what
// a widget would hold, and the dialog's operations and event handlers as methods. The Qt face
// binds one widget per control and routes user input into the handlers; it never decides
// anything itself. Every change made here reaches the bound worker at once.

#include "common/IniFile.h"
#include "host/PortList.h"
#include "modbus/BusSettings.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::modbus {

class TModThread;

// The application title the caption starts with at creation.
constexpr const char* kApplicationTitle = "Vantrel";

// Background of ComportChanged: the window colour, light green (RGB 192, 220, 192) for a new
// port, the system's active-border colour for a removed one.
enum class ChangeColour { Window, NewPort, Removed };

struct ComboBox {
    std::vector<std::string> items;
    int index = -1;
};

// An edit with its up-down: the edit's text as shown and the up-down's value, kept within
// min..max. maxLength is enforced on the text as well, so the model never holds more than
// the widget could.
struct UpDownEdit {
    std::string text;
    int value;
    int min, max;
    size_t maxLength;
    bool visible = true;
    bool readOnly = false;
};

// Window placement, in screen pixels.
struct WindowRect {
    int left = 0, top = 0, width = 0, height = 0;
};
struct WindowSize {
    int width = 0, height = 0;
};
struct WindowPos {
    int x = 0, y = 0;
    bool operator==(const WindowPos&) const = default;
};
struct Placement {
    WindowPos dialogPos;
    std::optional<WindowPos> moveActiveWindowTo; // set when the active window must make room
};

// Where the dialog goes when shown: its right edge at the reference window's left edge (the
// active window, else the main window), vertically centred on it; at x = 0 when that would
// leave the screen, and then the active window (if any) moves to start at the dialog's width
// when the screen has room for both.
Placement PlaceDialog(const WindowRect& reference, const WindowSize& dialog, int screenWidth,
                      bool hasActiveWindow);

class PortSetup {
public:
    // The port list gives the COMn names and their devices; the title starts the caption.
    // A dialog created for a worker (as the bus component does) is bound to it from the start.
    explicit PortSetup(host::PortList& ports, TModThread* worker = nullptr,
                       const std::string& applicationTitle = kApplicationTitle);
    PortSetup(const PortSetup&) = delete;
    PortSetup& operator=(const PortSetup&) = delete;

    // ---- controls, by the dialog's control names. The binding reads them; they change only
    // through the operations below.
    std::string caption;
    bool visible = false;
    std::string focusedControl; // "CloseButton" once shown
    bool allPorts = false;      // AllPortsCheckBox
    ComboBox ComPortComboBox, ComSpeedComboBox, ComDatabitsComboBox, ComParityComboBox,
        ComStopbitsComboBox;
    bool protocolRtu = true; // ProtocolRTURadio checked, else ProtocolASCIIRadio
    UpDownEdit BusAddress{"1", 1, 1, 255, 3}, Retries{"3", 3, 1, 10, 2, true, true},
        Response{"500", 500, 1, 9999, 4}, Rtu{"0", 0, 0, 9999, 4};
    std::string responseLabel = "No response timeout (msec)"; // Label4
    std::string ComportChanged;
    ChangeColour changedColour = ChangeColour::Window;
    std::string statusPanel, settingsPanel; // ComportStatusBar
    bool lockSettings = false, onTop = false, cv700 = false, miscellaneousVisible = true;
    bool showSlaveAddress = true;
    // Per item of ComPortComboBox (same size): the port's device path and adapter, for the
    // list's second column; empty where there is none.
    std::vector<std::string> deviceNames;
    // Why the last port open through the dialog failed, in words the user can act on.
    std::string lastOpenError;
    // Why the last LoadSettings / SaveSettings could not read or write the file.
    std::string lastFileError;
    // Called when an operation that may have changed something ends (once, however deep it
    // nested), for the view to refresh. Refused setters and getters that changed nothing do
    // not call it, so a view may use the getters while it refreshes.
    std::function<void()> changed;
    // The port the user picked did not open: the face tells the user why.
    std::function<void(const std::string& reason)> openFailed;

    // ---- operations for the bus component, the main window and the log readout.
    // Lockable ones do nothing while lockSettings is on, nor when the value asked for is
    // already selected.
    void SetWorker(TModThread* worker);
    TModThread* Worker() const { return worker_; }
    void RefreshFromWorker();
    void RefreshPortList();
    void UpdateStatus();
    void SelectPort(int n);               // lockable
    void SelectSpeedIndex(int i);         // lockable
    void SelectDataBitsIndex(int i);      // lockable
    void SelectParityIndex(int i);        // lockable
    void SelectStopBitsIndex(int i);      // lockable
    void SelectProtocol(int p);           // lockable
    void SetRetriesValue(int n);          // lockable
    void SetResponseTimeOutValue(int ms); // lockable
    void SetRtuTimeOutValue(int ms);      // lockable
    int GetRetries();
    int GetPortNumber();
    int GetSpeedIndex();
    int GetDataBitsIndex();
    int GetParityIndex();
    int GetStopBitsIndex();
    int GetProtocol();
    void ShowSlaveAddress(bool v);
    void SetSlaveAddress(int a);
    int GetSlaveAddress();
    // Section "Modbus" of the settings file. Loading goes through the lockable setters;
    // saving keeps the file's other lines and replaces it only once complete. False (with
    // lastFileError) when the file cannot be read or written.
    bool LoadSettings(const std::string& path);
    bool SaveSettings(const std::string& path);
    // The same on a settings file already in memory (one shared with the port list).
    void LoadSettings(const IniFile& ini);
    void SaveSettings(IniFile& ini);
    // What the main window sets at start-up.
    void SetCaption(const std::string& text);
    void SetResponseLabel(const std::string& text);
    void ShowMiscellaneous(bool v);

    // ---- event handlers (user input)
    void FormShow();
    void FormDeactivate();
    void CloseButtonClick();
    void ComPortComboBoxDropDown();
    void ComPortComboBoxSelect(int index);
    void ConnectButtonClick();
    void ReleaseButtonClick();
    void ComSpeedComboBoxSelect(int i);
    void ComDatabitsComboBoxSelect(int i);
    void ComParityComboBoxSelect(int i);
    void ComStopbitsComboBoxSelect(int i);
    void ProtocolASCIIRadioClick();
    void ProtocolRTURadioClick();
    void RetriesEditChange(const std::string& text);
    void ResponseEditChange(const std::string& text);
    void RTUEditChange(const std::string& text);
    void BusAddressEditChange(const std::string& text);
    void RetriesEditExit();
    void ResponseEditExit();
    void RTUEditExit();
    void BusAddressEditExit();
    void RetriesUpDownClick(int value);
    void ResponseUpDownClick(int value);
    void RTUUpDownClick(int value);
    void BusAddressUpDownClick(int value);
    static bool CheckKeyPress(char key);
    void AllPortsCheckBoxClick(bool on);
    void OnTopCheckBoxClick(bool on);
    void CV700ProtocolCheckBoxClick(bool on);
    void LockCheckBoxClick(bool on);

private:
    // Notifies `changed` once, when the outermost operation ends.
    class Batch {
    public:
        explicit Batch(PortSetup& setup, bool changes = true) : setup_(setup) {
            ++setup_.depth_;
            setup_.dirty_ = setup_.dirty_ || changes;
        }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        PortSetup& setup_;
    };

    using WorkerSetter = void (TModThread::*)(int);
    using IndexGetter = int (PortSetup::*)();
    void SelectLineIndex(ComboBox& box, int i, WorkerSetter setter, IndexGetter getter);
    void LineComboSelect(ComboBox& box, int i, WorkerSetter setter, IndexGetter getter);
    void OpenSelectedPort();
    void ApplyProtocol();
    // The up-down moved: the edit follows, and its change handler runs as for any change.
    void SetPosition(UpDownEdit& edit, int value, void (PortSetup::*change)(const std::string&));
    // The edit's text changed: the up-down takes it as a number, or keeps its value.
    void TakeEditText(UpDownEdit& edit, const std::string& text);
    void EditExit(UpDownEdit& edit, void (PortSetup::*change)(const std::string&));
    int SelectedPortNumber() const;
    BusSettings CurrentSettings();

    host::PortList& ports_;
    TModThread* worker_ = nullptr;
    std::vector<std::string> presentPorts_; // names, as last read by RefreshPortList
    std::vector<std::string> presentDevices_;
    // The port the user chose while its device is away (unplugged): selected and opened
    // again when it comes back under its number, and kept in the settings meanwhile.
    int keptPort_ = 0;
    int depth_ = 0;
    bool dirty_ = false;
};

} // namespace vantrel::modbus
