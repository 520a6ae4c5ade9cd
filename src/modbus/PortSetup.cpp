#include "modbus/PortSetup.h"

#include "modbus/ModThread.h"
#include "modbus/PortList.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace vantrel::modbus {

namespace {

constexpr const char* kNoPortItem = "<< No port selected >>";
constexpr const char* kCaptionSuffix = " - Port Setup";
constexpr const char* kFocusTarget = "CloseButton";
constexpr const char* kStatusConnected = "Status: Connected.";
constexpr const char* kStatusNotConnected = "Status: Not connected.";
constexpr const char* kStatusNoWorker = "Status: No Modbus thread.";
constexpr const char* kSettingsNoWorker = "Settings: No Modbus thread.";
constexpr const char* kStatusPrefix = "Status: ";
constexpr const char* kSettingsPrefix = "Settings: ";
constexpr int kHighestPort = 255;

template <size_t N> std::vector<std::string> Items(const char* const (&names)[N]) {
    return std::vector<std::string>(std::begin(names), std::end(names));
}

// The whole text as a decimal number, or nothing.
const char* const kNotConnected = " (not connected)";
const char* const kNoDeviceHintBefore = "no device: add a line COM";
const char* const kNoDeviceHintAfter = "=/dev/... to [Ports] of the settings file";

std::optional<int> Decimal(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string DeviceName(const host::PortEntry& entry) {
    if (!entry.present)
        return entry.path + kNotConnected;
    if (entry.description.empty() || entry.description == entry.path)
        return entry.path;
    return entry.path + " (" + entry.description + ")";
}

// What "show all" says beside a number no device has: how to give it one.
std::string FreeNumberHint(int number) {
    return kNoDeviceHintBefore + std::to_string(number) + kNoDeviceHintAfter;
}

} // namespace

Placement PlaceDialog(const WindowRect& reference, const WindowSize& dialog, int screenWidth,
                      bool hasActiveWindow) {
    Placement placement;
    placement.dialogPos.x = reference.left - dialog.width;
    placement.dialogPos.y = reference.top + (reference.height - dialog.height) / 2;
    if (placement.dialogPos.x < 0) {
        placement.dialogPos.x = 0;
        if (hasActiveWindow && screenWidth > reference.width + dialog.width)
            placement.moveActiveWindowTo = WindowPos{dialog.width, reference.top};
    }
    return placement;
}

PortSetup::Batch::~Batch() {
    if (--setup_.depth_ == 0 && setup_.dirty_) {
        setup_.dirty_ = false;
        if (setup_.changed)
            setup_.changed();
    }
}

PortSetup::PortSetup(host::PortList& ports, TModThread* worker, const std::string& applicationTitle)
    : ports_(ports), worker_(worker) {
    // The form's own items; the first RefreshPortList replaces them.
    ComPortComboBox.items.push_back("<< None selected >>");
    for (int n = 1; n <= 10; ++n)
        ComPortComboBox.items.push_back("COM" + std::to_string(n));
    deviceNames.assign(ComPortComboBox.items.size(), std::string());
    ComSpeedComboBox = {Items(kSpeedNames), 3};
    ComDatabitsComboBox = {Items(kDataBitsNames), 0};
    ComParityComboBox = {Items(kParityNames), 0};
    ComStopbitsComboBox = {Items(kStopBitsNames), 0};
    statusPanel = kStatusPrefix;
    settingsPanel = kSettingsPrefix;

    // FormCreate.
    showSlaveAddress = true;
    caption = applicationTitle + kCaptionSuffix;
    RefreshFromWorker();
    ComportChanged.clear();
    changedColour = ChangeColour::Window;
    dirty_ = false;
}

// ---------------------------------------------------------------- worker and lists

void PortSetup::SetWorker(TModThread* worker) {
    Batch batch(*this);
    worker_ = worker;
    RefreshFromWorker();
}

void PortSetup::RefreshFromWorker() {
    if (!worker_)
        return;
    Batch batch(*this);
    const int speed = worker_->Speed();
    const int framing = worker_->Framing();
    const int retries = worker_->Retries();
    const int timeOut = worker_->TimeOut();
    const int rtuTimeOut = worker_->RtuTimeOut();
    const bool workerCv700 = worker_->Cv700();
    const int port = worker_->PortNumber();

    RefreshPortList();
    SelectPort(port);
    // The first refresh finds every port new; that is no news to the user.
    ComportChanged.clear();
    SelectSpeedIndex(speed);
    SelectProtocol(framing);
    SetPosition(Retries, retries, &PortSetup::RetriesEditChange);
    SetPosition(Response, timeOut, &PortSetup::ResponseEditChange);
    SetPosition(Rtu, rtuTimeOut, &PortSetup::RTUEditChange);
    cv700 = workerCv700;
    UpdateStatus();
}

void PortSetup::RefreshPortList() {
    Batch batch(*this);
    const std::string selected =
        ComPortComboBox.index >= 0 &&
                ComPortComboBox.index < static_cast<int>(ComPortComboBox.items.size())
            ? ComPortComboBox.items[ComPortComboBox.index]
            : std::string();

    const std::vector<std::string> previous = presentPorts_;
    // Absent ports are asked for only to name their devices in a "show all" list; the
    // comparison takes the present ones alone.
    std::vector<std::string> names(kHighestPort + 1);
    presentPorts_.clear();
    presentDevices_.clear();
    std::vector<bool> present(kHighestPort + 1, false);
    for (const host::PortEntry& entry : ports_.Ports(allPorts)) {
        if (entry.number < 1 || entry.number > kHighestPort)
            continue;
        names[entry.number] = DeviceName(entry);
        if (!entry.present)
            continue;
        present[entry.number] = true;
        presentPorts_.push_back("COM" + std::to_string(entry.number));
        presentDevices_.push_back(names[entry.number]);
    }

    ComPortComboBox.items.assign(1, kNoPortItem);
    deviceNames.assign(1, std::string());
    for (int n = 1; n <= kHighestPort; ++n) {
        if (!present[n] && !allPorts)
            continue;
        ComPortComboBox.items.push_back("COM" + std::to_string(n));
        deviceNames.push_back(names[n].empty() ? FreeNumberHint(n) : names[n]);
    }

    if (auto change = ComparePortLists(previous, presentPorts_)) {
        ComportChanged = change->message;
        changedColour = change->colour == PortChangeColour::NewPort ? ChangeColour::NewPort
                                                                    : ChangeColour::Removed;
    }

    auto again = std::find(ComPortComboBox.items.begin(), ComPortComboBox.items.end(), selected);
    ComPortComboBox.index = again == ComPortComboBox.items.end()
                                ? 0
                                : static_cast<int>(again - ComPortComboBox.items.begin());
    const bool wasPresent = std::find(previous.begin(), previous.end(), selected) != previous.end();
    const bool isPresent =
        std::find(presentPorts_.begin(), presentPorts_.end(), selected) != presentPorts_.end();
    if (!selected.empty() && selected != kNoPortItem && wasPresent && !isPresent)
        keptPort_ = Decimal(selected.substr(3)).value_or(0);

    if (keptPort_ > 0 && (!worker_ || !worker_->IsPortOpen())) {
        const std::string name = "COM" + std::to_string(keptPort_);
        if (std::find(presentPorts_.begin(), presentPorts_.end(), name) != presentPorts_.end()) {
            auto back = std::find(ComPortComboBox.items.begin(), ComPortComboBox.items.end(), name);
            keptPort_ = 0;
            if (back != ComPortComboBox.items.end()) {
                ComPortComboBox.index = static_cast<int>(back - ComPortComboBox.items.begin());
                OpenSelectedPort();
            }
        }
    }
}

void PortSetup::UpdateStatus() {
    Batch batch(*this);
    if (!worker_) {
        statusPanel = kStatusNoWorker;
        settingsPanel = kSettingsNoWorker;
        return;
    }
    settingsPanel = kSettingsPrefix + worker_->ModeString();
    // Not connected says why, when the last attempt to open the port said it.
    if (worker_->IsPortOpen())
        statusPanel = kStatusConnected;
    else if (lastOpenError.empty())
        statusPanel = kStatusNotConnected;
    else
        statusPanel = std::string(kStatusNotConnected) + " " + lastOpenError;
}

void PortSetup::OpenSelectedPort() {
    if (worker_) {
        // The line settings go with the port; GetPortNumber may reset a selection it cannot
        // read, so it comes first.
        const int port = GetPortNumber();
        const bool opened = worker_->OpenPort(port, GetSpeedIndex(), GetDataBitsIndex(),
                                              GetParityIndex(), GetStopBitsIndex());
        lastOpenError = opened ? std::string() : worker_->LastOpenError();
    }
    UpdateStatus();
}

// ---------------------------------------------------------------- lockable setters

void PortSetup::SelectPort(int n) {
    if (lockSettings)
        return;
    int target = -1;
    if (n == 0) {
        target = ComPortComboBox.items.empty() ? -1 : 0;
    } else {
        const std::string name = "COM" + std::to_string(n);
        auto found = std::find(ComPortComboBox.items.begin(), ComPortComboBox.items.end(), name);
        if (found != ComPortComboBox.items.end())
            target = static_cast<int>(found - ComPortComboBox.items.begin());
    }
    if (target >= 0 && target == ComPortComboBox.index)
        return;
    Batch batch(*this);
    // A port that is not listed leaves the selection, which is opened again.
    if (target >= 0)
        ComPortComboBox.index = target;
    OpenSelectedPort();
}

void PortSetup::SelectLineIndex(ComboBox& box, int i, WorkerSetter setter, IndexGetter getter) {
    if (lockSettings || i == box.index)
        return;
    Batch batch(*this);
    if (i >= 0 && i < static_cast<int>(box.items.size()))
        box.index = i;
    if (worker_)
        (worker_->*setter)((this->*getter)());
    UpdateStatus();
}

void PortSetup::SelectSpeedIndex(int i) {
    SelectLineIndex(ComSpeedComboBox, i, &TModThread::SetSpeed, &PortSetup::GetSpeedIndex);
}
void PortSetup::SelectDataBitsIndex(int i) {
    SelectLineIndex(ComDatabitsComboBox, i, &TModThread::SetDataBits, &PortSetup::GetDataBitsIndex);
}
void PortSetup::SelectParityIndex(int i) {
    SelectLineIndex(ComParityComboBox, i, &TModThread::SetParity, &PortSetup::GetParityIndex);
}
void PortSetup::SelectStopBitsIndex(int i) {
    SelectLineIndex(ComStopbitsComboBox, i, &TModThread::SetStopBits, &PortSetup::GetStopBitsIndex);
}

void PortSetup::SelectProtocol(int p) {
    const bool rtu = p != 0;
    if (lockSettings || rtu == protocolRtu)
        return;
    Batch batch(*this);
    protocolRtu = rtu;
    ApplyProtocol();
}

void PortSetup::ApplyProtocol() {
    // Only the framing changes here; the worker applies the matching inter-character
    // time-out the next time it sets up its time-outs.
    if (worker_)
        worker_->SetFraming(protocolRtu ? kFramingRtu : kFramingAscii);
}

void PortSetup::SetRetriesValue(int n) {
    if (lockSettings || n == Retries.value || n < Retries.min || n > Retries.max)
        return;
    Batch batch(*this);
    SetPosition(Retries, n, &PortSetup::RetriesEditChange);
    if (worker_)
        worker_->SetRetries(n);
}

void PortSetup::SetResponseTimeOutValue(int ms) {
    if (lockSettings || ms == Response.value || ms < Response.min || ms > Response.max)
        return;
    Batch batch(*this);
    SetPosition(Response, ms, &PortSetup::ResponseEditChange);
    if (worker_)
        worker_->SetResponseTimeOut(ms);
}

void PortSetup::SetRtuTimeOutValue(int ms) {
    if (lockSettings || ms == Rtu.value || ms < Rtu.min || ms > Rtu.max)
        return;
    Batch batch(*this);
    SetPosition(Rtu, ms, &PortSetup::RTUEditChange);
    if (worker_)
        worker_->SetRtuTimeOut(ms);
}

// ---------------------------------------------------------------- getters

int PortSetup::GetRetries() {
    return Retries.value;
}

int PortSetup::SelectedPortNumber() const {
    const ComboBox& box = ComPortComboBox;
    if (box.index < 0 || box.index >= static_cast<int>(box.items.size()))
        return -1;
    const std::string& text = box.items[box.index];
    const auto number = Decimal(text.size() > 3 ? text.substr(3) : std::string());
    return number && *number >= 0 && *number <= kHighestPort ? *number : -1;
}

int PortSetup::GetPortNumber() {
    const int number = SelectedPortNumber();
    if (number >= 0)
        return number;
    // Nothing readable is selected: the first item ("<< No port selected >>") stands for it.
    const int first = ComPortComboBox.items.empty() ? -1 : 0;
    Batch batch(*this, first != ComPortComboBox.index);
    ComPortComboBox.index = first;
    return 0;
}

int PortSetup::GetSpeedIndex() {
    const int i = ComSpeedComboBox.index;
    return i >= 0 && i <= 8 ? i : 3;
}
int PortSetup::GetDataBitsIndex() {
    return ComDatabitsComboBox.index == 1 ? 1 : 0;
}
int PortSetup::GetParityIndex() {
    const int i = ComParityComboBox.index;
    return i == 1 || i == 2 ? i : 0;
}
int PortSetup::GetStopBitsIndex() {
    return ComStopbitsComboBox.index == 1 ? 1 : 0;
}
int PortSetup::GetProtocol() {
    return protocolRtu ? 1 : 0;
}

// ---------------------------------------------------------------- slave address

void PortSetup::ShowSlaveAddress(bool v) {
    Batch batch(*this);
    showSlaveAddress = v;
    BusAddress.visible = v;
}

void PortSetup::SetSlaveAddress(int a) {
    if (a == 0)
        return;
    Batch batch(*this);
    SetPosition(BusAddress, a, &PortSetup::BusAddressEditChange);
}

int PortSetup::GetSlaveAddress() {
    return BusAddress.value;
}

// ---------------------------------------------------------------- settings file

BusSettings PortSetup::CurrentSettings() {
    BusSettings s;
    s.port = std::max(SelectedPortNumber(), 0);
    if (s.port == 0 && keptPort_ > 0)
        s.port = keptPort_;
    s.framing = GetProtocol() ? kFramingRtu : kFramingAscii;
    s.speed = GetSpeedIndex();
    s.dataBits = GetDataBitsIndex();
    s.parity = GetParityIndex();
    s.stopBits = GetStopBitsIndex();
    // An edit that holds no number stands for the form's value.
    s.retries = Decimal(Retries.text).value_or(3);
    s.timeOut = Decimal(Response.text).value_or(500);
    s.rtuTimeOut = Decimal(Rtu.text).value_or(0);
    return s;
}

void PortSetup::LoadSettings(const IniFile& ini) {
    Batch batch(*this);
    BusSettings s = CurrentSettings();
    const int selectedPort = s.port;
    ReadBusSettings(ini, s);
    // A missing key leaves the value in force; so does the port already selected.
    if (s.port != selectedPort)
        SelectPort(s.port);
    SelectProtocol(s.framing);
    SelectSpeedIndex(s.speed);
    SelectDataBitsIndex(s.dataBits);
    SelectParityIndex(s.parity);
    SelectStopBitsIndex(s.stopBits);
    SetRetriesValue(s.retries);
    SetResponseTimeOutValue(s.timeOut);
    SetRtuTimeOutValue(s.rtuTimeOut);
    if (!lockSettings) {
        RetriesEditExit();
        ResponseEditExit();
        RTUEditExit();
    }
    RefreshFromWorker();
}

bool PortSetup::LoadSettings(const std::string& path) {
    IniFile ini;
    lastFileError.clear();
    if (!ini.Load(path, &lastFileError))
        return false;
    LoadSettings(ini);
    return true;
}

void PortSetup::SaveSettings(IniFile& ini) {
    BusSettings s = CurrentSettings();
    // Saved as shown: a value the edit does not hold right now is the up-down's.
    s.retries = Retries.value;
    s.timeOut = Response.value;
    s.rtuTimeOut = Rtu.value;
    WriteBusSettings(ini, s);
}

bool PortSetup::SaveSettings(const std::string& path) {
    IniFile ini;
    lastFileError.clear();
    // An unreadable file is not overwritten: its other sections would be lost.
    if (!ini.Load(path, &lastFileError))
        return false;
    SaveSettings(ini);
    return ini.Save(path, &lastFileError);
}

void PortSetup::SetCaption(const std::string& text) {
    Batch batch(*this);
    caption = text;
}

void PortSetup::SetResponseLabel(const std::string& text) {
    Batch batch(*this);
    responseLabel = text;
}

void PortSetup::ShowMiscellaneous(bool v) {
    Batch batch(*this);
    miscellaneousVisible = v;
}

// ---------------------------------------------------------------- event handlers

void PortSetup::FormShow() {
    Batch batch(*this);
    visible = true;
    focusedControl = kFocusTarget;
}

void PortSetup::FormDeactivate() {
    Batch batch(*this);
    focusedControl = kFocusTarget;
}

void PortSetup::CloseButtonClick() {
    Batch batch(*this);
    visible = false;
}

void PortSetup::ComPortComboBoxDropDown() {
    RefreshPortList();
}

void PortSetup::ComPortComboBoxSelect(int index) {
    Batch batch(*this);
    keptPort_ = 0; // the user's new choice
    if (index >= 0 && index < static_cast<int>(ComPortComboBox.items.size()))
        ComPortComboBox.index = index;
    OpenSelectedPort();
    if (!lastOpenError.empty() && openFailed)
        openFailed(lastOpenError);
}

void PortSetup::ConnectButtonClick() {
    Batch batch(*this);
    OpenSelectedPort();
}

void PortSetup::ReleaseButtonClick() {
    Batch batch(*this);
    if (worker_)
        worker_->ClosePort();
    UpdateStatus();
}

void PortSetup::LineComboSelect(ComboBox& box, int i, WorkerSetter setter, IndexGetter getter) {
    Batch batch(*this);
    if (i >= 0 && i < static_cast<int>(box.items.size()))
        box.index = i;
    if (!worker_)
        return;
    (worker_->*setter)((this->*getter)());
    UpdateStatus();
}

void PortSetup::ComSpeedComboBoxSelect(int i) {
    LineComboSelect(ComSpeedComboBox, i, &TModThread::SetSpeed, &PortSetup::GetSpeedIndex);
}
void PortSetup::ComDatabitsComboBoxSelect(int i) {
    LineComboSelect(ComDatabitsComboBox, i, &TModThread::SetDataBits, &PortSetup::GetDataBitsIndex);
}
void PortSetup::ComParityComboBoxSelect(int i) {
    LineComboSelect(ComParityComboBox, i, &TModThread::SetParity, &PortSetup::GetParityIndex);
}
void PortSetup::ComStopbitsComboBoxSelect(int i) {
    LineComboSelect(ComStopbitsComboBox, i, &TModThread::SetStopBits, &PortSetup::GetStopBitsIndex);
}

void PortSetup::ProtocolASCIIRadioClick() {
    Batch batch(*this);
    protocolRtu = false;
    ApplyProtocol();
}

void PortSetup::ProtocolRTURadioClick() {
    Batch batch(*this);
    protocolRtu = true;
    ApplyProtocol();
}

void PortSetup::TakeEditText(UpDownEdit& edit, const std::string& text) {
    edit.text = edit.maxLength > 0 ? text.substr(0, edit.maxLength) : text;
    const int number = Decimal(edit.text).value_or(edit.value);
    edit.value = std::clamp(number, edit.min, edit.max);
}

void PortSetup::RetriesEditChange(const std::string& text) {
    Batch batch(*this);
    TakeEditText(Retries, text);
    if (worker_)
        worker_->SetRetries(Retries.value);
}

void PortSetup::ResponseEditChange(const std::string& text) {
    Batch batch(*this);
    TakeEditText(Response, text);
    if (worker_)
        worker_->SetResponseTimeOut(Response.value);
}

void PortSetup::RTUEditChange(const std::string& text) {
    Batch batch(*this);
    TakeEditText(Rtu, text);
    if (worker_)
        worker_->SetRtuTimeOut(Rtu.value);
}

void PortSetup::BusAddressEditChange(const std::string& text) {
    Batch batch(*this);
    TakeEditText(BusAddress, text);
}

void PortSetup::SetPosition(UpDownEdit& edit, int value,
                            void (PortSetup::*change)(const std::string&)) {
    edit.value = std::clamp(value, edit.min, edit.max);
    const std::string text = std::to_string(edit.value);
    if (text != edit.text)
        (this->*change)(text);
}

void PortSetup::EditExit(UpDownEdit& edit, void (PortSetup::*change)(const std::string&)) {
    Batch batch(*this);
    SetPosition(edit, edit.value, change);
}

void PortSetup::RetriesEditExit() {
    EditExit(Retries, &PortSetup::RetriesEditChange);
}
void PortSetup::ResponseEditExit() {
    EditExit(Response, &PortSetup::ResponseEditChange);
}
void PortSetup::RTUEditExit() {
    EditExit(Rtu, &PortSetup::RTUEditChange);
}
void PortSetup::BusAddressEditExit() {
    EditExit(BusAddress, &PortSetup::BusAddressEditChange);
}

void PortSetup::RetriesUpDownClick(int value) {
    Batch batch(*this);
    SetPosition(Retries, value, &PortSetup::RetriesEditChange);
    if (worker_)
        worker_->SetRetries(Retries.value);
}

void PortSetup::ResponseUpDownClick(int value) {
    Batch batch(*this);
    SetPosition(Response, value, &PortSetup::ResponseEditChange);
    if (worker_)
        worker_->SetResponseTimeOut(Response.value);
}

void PortSetup::RTUUpDownClick(int value) {
    Batch batch(*this);
    SetPosition(Rtu, value, &PortSetup::RTUEditChange);
    if (worker_)
        worker_->SetRtuTimeOut(Rtu.value);
}

void PortSetup::BusAddressUpDownClick(int value) {
    Batch batch(*this);
    SetPosition(BusAddress, value, &PortSetup::BusAddressEditChange);
}

bool PortSetup::CheckKeyPress(char key) {
    return (key >= '0' && key <= '9') || key == '\b';
}

void PortSetup::AllPortsCheckBoxClick(bool on) {
    // Takes effect the next time the list is opened.
    Batch batch(*this);
    allPorts = on;
}

void PortSetup::OnTopCheckBoxClick(bool on) {
    Batch batch(*this);
    onTop = on;
}

void PortSetup::CV700ProtocolCheckBoxClick(bool on) {
    Batch batch(*this);
    cv700 = on;
    if (worker_)
        worker_->SetCv700(on);
}

void PortSetup::LockCheckBoxClick(bool on) {
    Batch batch(*this);
    lockSettings = on;
}

} // namespace vantrel::modbus
