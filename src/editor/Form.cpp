#include "editor/Form.h"

#include "common/IniFile.h"
#include "editor/ControlTable.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel::editor {

const char* const kHomeHelpText =
    "Please connect your device to the communications bus and click 'Connect Device' to "
    "identify the model, revision and serial number."
    "\r\nAfter correct identification, you have the possiblity to load and save a "
    "configuration on your PC and to up- and download settings to and from the device."
    "\r\nClick 'Port Setup' to change e.g. communications port, speed, protocol and bus "
    "address."
    "\r\n"
    "\r\nBy selecting Offline Configuration, you are able to create a custom configuration "
    "which you can save to your PC. Once you have succesfully connected your device, you can "
    "load your custom configuration and download it to the unit."
    "\r\nTo enter Offline Configuration, please select your model and (if applicable) firmware "
    "revision, and click 'Enter offline configuration'.";

namespace {

// "Show=..." is read as an integer the way a private-profile reader does: its leading
// digits, 0 when there are none.
int ProfileInteger(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 31);
    return static_cast<int>(negative ? -value : value);
}

const char* const kCommonPages[] = {"RuntimeSheet",       "AnalogSheet",   "PulseSheet",
                                    "DisplaySheet",       "CommunicationSheet",
                                    "LogParamSheet",      "OthersSheet"};
const char* const kPPages[] = {"TotalSheet", "FlowrateSheet", "FlowmeterSheet",
                               "LinearisationSheet"};
const char* const kAPages[] = {"TotalASheet", "FlowrateASheet", "FlowmeterASheet",
                               "LinearisationASheet"};

// Enabled state of a control in each connection state: no unit, offline, unit connected.
struct ButtonRow {
    const char* control;
    bool noUnit, offline, connected;
};
constexpr ButtonRow kButtonTable[] = {
    {"ModelBox", true, false, false},
    {"RevisionBox", false, false, false},
    {"LoadDefaultButton", false, true, true},
    {"LoadConfigButton", false, true, true},
    {"SaveConfigButtonNew", false, true, true},
    {"UploadButton", false, false, true},
    {"DownloadButton", false, false, true},
    {"CompareUnitButton", false, false, true},
    {"CompareFileButton", false, true, true},
    {"ConnectButton", true, false, true},
    {"FindUnitButton", true, false, true},
    {"CommunicButton", true, false, true},
    {"RestartButton", false, false, true},
    {"FactoryResetButton", false, false, true},
    {"OfflineButton", true, true, false},
    {"FactoryConfigButton", false, true, false},
    {"SaveDefaultButton", false, true, false},
    {"RefeshButton", false, false, true},
    {"ClearTotalButton", false, false, true},
    {"CalTuneMax", false, false, true},
    {"CalTuneMin", false, false, true},
};

// Marks the time a user input is handled: what it sets is the user's doing.
class UserInputScope {
public:
    explicit UserInputScope(int& depth) : depth_(depth) { ++depth_; }
    ~UserInputScope() { --depth_; }
    UserInputScope(const UserInputScope&) = delete;
    UserInputScope& operator=(const UserInputScope&) = delete;

private:
    int& depth_;
};

} // namespace

Form::Form(Device& dev, std::string settingsFileName)
    : device(dev), SettingsFileName(std::move(settingsFileName)) {
    controls_ = MainWindowControls();
    for (size_t i = 0; i < controls_.size(); ++i)
        index_.emplace(controls_[i].name, i);
    pages_ = MainWindowPages();
    statusPanels[0] = " Current Device: no device detected";
    statusPanels[1] = " Status: no device detected";
    statusPanels[2] = "About...";
    for (const Control& c : controls_) {
        const std::string& n = c.name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, "Next") == 0)
            OnClick(n, [this] { btnNextClick(); });
        else if (n.size() > 4 && n.compare(n.size() - 4, 4, "Prev") == 0)
            OnClick(n, [this] { btnPrevClick(); });
    }
    OnClick("btnLastPage", [this] { btnNextClick(); });
    OnClick("ModbusButton", [this] { ModbusButtonClick(); });
    OnClick("Button13", [this] { Button13Click(); });

    IniFile settings;
    settings.Load(SettingsFileName); // unreadable: popups stay on
    if (auto show = settings.Get("Popups", "Show"))
        ShowPopups = ProfileInteger(*show) != 0;
}

// ---------------------------------------------------------------- controls

Control* Form::Find(std::string_view name) {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &controls_[it->second];
}

const Control* Form::Find(std::string_view name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &controls_[it->second];
}

bool Form::Has(std::string_view name) const { return Find(name) != nullptr; }

Control& Form::operator[](std::string_view name) {
    Control* c = Find(name);
    if (!c)
        throw std::out_of_range("no control named " + std::string(name));
    return *c;
}

const Control& Form::operator[](std::string_view name) const {
    const Control* c = Find(name);
    if (!c)
        throw std::out_of_range("no control named " + std::string(name));
    return *c;
}

void Form::Notify(const Control& control) {
    if (controlChanged)
        controlChanged(control);
}

void Form::NotifyWindow() {
    if (windowChanged)
        windowChanged();
}

void Form::Fire(
    const std::unordered_map<std::string, std::vector<std::function<void()>>>& handlers,
    std::string_view name) {
    auto it = handlers.find(std::string(name));
    if (it == handlers.end())
        return;
    // A handler may register others; run the ones present now.
    const std::vector<std::function<void()>> current = it->second;
    for (const auto& handler : current)
        handler();
}

void Form::SetItemIndex(std::string_view name, int index) {
    Control& c = (*this)[name];
    if (c.itemIndex == index)
        return;
    ProgramSet(name);
    c.itemIndex = index;
    Notify(c);
    Fire(changeHandlers_, name);
    // A radio group's click event is its change event: it runs for program steps too.
    if (c.kind == ControlKind::RadioGroup || c.kind == ControlKind::UnitButtons)
        Fire(clickHandlers_, name);
}

void Form::SetText(std::string_view name, const std::string& text) {
    Control& c = (*this)[name];
    if (c.text == text)
        return;
    ProgramSet(name);
    c.text = text;
    Notify(c);
    Fire(changeHandlers_, name);
}

void Form::SetTime(std::string_view name, TimeOfDay time) {
    Control& c = (*this)[name];
    if (c.time == time)
        return;
    ProgramSet(name);
    c.time = time;
    Notify(c);
    Fire(changeHandlers_, name);
}

void Form::SetDate(std::string_view name, CalendarDate date) {
    Control& c = (*this)[name];
    if (c.date == date)
        return;
    ProgramSet(name);
    c.date = date;
    Notify(c);
    Fire(changeHandlers_, name);
}

void Form::SetEnabled(std::string_view name, bool on) {
    Control& c = (*this)[name];
    if (c.enabled != on) {
        c.enabled = on;
        Notify(c);
    }
}

void Form::SetVisible(std::string_view name, bool on) {
    Control& c = (*this)[name];
    if (c.visible != on) {
        c.visible = on;
        Notify(c);
    }
}

void Form::SetCaption(std::string_view name, const std::string& caption) {
    Control& c = (*this)[name];
    if (c.caption != caption) {
        c.caption = caption;
        Notify(c);
    }
}

void Form::MarkControls(const std::vector<std::string>& names) {
    for (Control& c : controls_) {
        const bool marked = std::find(names.begin(), names.end(), c.name) != names.end() ||
                            // a unit group shows in its box of buttons
                            (c.kind == ControlKind::UnitButtons && c.name.size() > 3 &&
                             std::find(names.begin(), names.end(),
                                       c.name.substr(0, c.name.size() - 3)) != names.end());
        if (c.marked == marked)
            continue;
        c.marked = marked;
        Notify(c);
    }
}

void Form::SetHighlighted(std::string_view name, bool on) {
    Control& c = (*this)[name];
    if (c.highlighted != on) {
        c.highlighted = on;
        Notify(c);
    }
}

void Form::ProgramSet(std::string_view name) {
    if (userInput_ == 0 && !edited_.empty())
        edited_.erase(std::string(name));
}

bool Form::KeyPress(std::string_view name, char key) {
    Control& c = (*this)[name];
    if (c.readOnly || !c.enabled)
        return false;
    if (c.keyFilter == KeyFilter::Digits && !(key >= '0' && key <= '9') && key != '\b')
        return false;
    const UserInputScope input(userInput_);
    auto it = keyHandlers_.find(std::string(name));
    const bool taken = it == keyHandlers_.end() || it->second(key);
    if (taken)
        edited_.insert(std::string(name));
    return taken;
}

void Form::UserEdit(std::string_view name, const std::string& text) {
    const UserInputScope input(userInput_);
    edited_.insert(std::string(name));
    const Control& c = (*this)[name];
    if (c.maxLength && text.size() > c.maxLength)
        SetText(name, text.substr(0, c.maxLength));
    else
        SetText(name, text);
}

void Form::UserSelect(std::string_view name, int index) {
    const Control& c = (*this)[name];
    if (!c.enabled || !ItemEnabled(name, index))
        return;
    const UserInputScope input(userInput_);
    edited_.insert(std::string(name));
    if (c.itemIndex == index) {
        // A group of one choice ("Calculation Factor") acts on a click of the choice it holds.
        Fire(reselectHandlers_, name);
        return;
    }
    SetItemIndex(name, index);
}

void Form::SetItemEnabled(std::string_view name, int index, bool on) {
    Control& c = (*this)[name];
    if (index < 0 || ItemEnabled(name, index) == on)
        return;
    if (c.itemsEnabled.size() <= static_cast<size_t>(index))
        c.itemsEnabled.resize(static_cast<size_t>(index) + 1, true);
    c.itemsEnabled[static_cast<size_t>(index)] = on;
    Notify(c);
}

bool Form::ItemEnabled(std::string_view name, int index) const {
    const Control& c = (*this)[name];
    return index < 0 || static_cast<size_t>(index) >= c.itemsEnabled.size() ||
           c.itemsEnabled[static_cast<size_t>(index)];
}

void Form::Click(std::string_view name) {
    const Control& c = (*this)[name];
    if (!c.enabled)
        return;
    // A button acts on what the user typed: the edit still holding the focus (the button
    // pressed by its shortcut) is checked first, as a click with the mouse would leave it.
    if (c.kind == ControlKind::Button && focus_ != name)
        FinishEdit();
    const UserInputScope input(userInput_);
    const std::string textBefore = c.text;
    const int indexBefore = c.itemIndex;
    Fire(clickHandlers_, name);
    const Control& after = (*this)[name];
    if (after.text != textBefore || after.itemIndex != indexBefore)
        edited_.insert(std::string(name));
}

void Form::UserTouch(std::string_view name) {
    (*this)[name]; // a control of this window
    edited_.insert(std::string(name));
}

bool Form::Edited(std::string_view name) const {
    return edited_.count(std::string(name)) != 0;
}

void Form::Leave(const std::string& control) {
    if (control.empty() || edited_.erase(control) == 0)
        return;
    // A run or a load places values while it moves the focus; they are the unit's or the
    // file's, not something the user left behind.
    if (Updating || BulkLoading)
        return;
    Fire(exitHandlers_, control);
}

void Form::FinishEdit() {
    Leave(focus_);
}

void Form::SetFocus(std::string_view name) {
    if (focus_ == name)
        return;
    const std::string left = focus_;
    focus_ = std::string(name);
    Leave(left);
    NotifyWindow();
}

void Form::OnChange(std::string_view name, std::function<void()> handler) {
    changeHandlers_[std::string(name)].push_back(std::move(handler));
}
void Form::OnClick(std::string_view name, std::function<void()> handler) {
    clickHandlers_[std::string(name)].push_back(std::move(handler));
}
void Form::OnExit(std::string_view name, std::function<void()> handler) {
    exitHandlers_[std::string(name)].push_back(std::move(handler));
}
void Form::OnKey(std::string_view name, std::function<bool(char)> handler) {
    keyHandlers_[std::string(name)] = std::move(handler);
}
void Form::OnReselect(std::string_view name, std::function<void()> handler) {
    reselectHandlers_[std::string(name)].push_back(std::move(handler));
}

void Form::SetStatus(int panel, const std::string& text) {
    if (panel < 0 || panel > 2 || statusPanels[panel] == text)
        return;
    statusPanels[panel] = text;
    NotifyWindow();
}

void Form::SetProgress(int done, int total) {
    if (total < 0)
        total = 0;
    done = total == 0 ? 0 : std::clamp(done, 0, total);
    if (progressDone == done && progressTotal == total)
        return;
    progressDone = done;
    progressTotal = total;
    NotifyWindow();
}

// ---------------------------------------------------------------- pages

int Form::PageIndex(std::string_view name) const {
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i].name == name)
            return static_cast<int>(i);
    return -1;
}

Page& Form::PageNamed(std::string_view name) {
    const int i = PageIndex(name);
    if (i < 0)
        throw std::out_of_range("no page named " + std::string(name));
    return pages_[static_cast<size_t>(i)];
}

void Form::ShowPage(std::string_view name, bool visible) {
    Page& page = PageNamed(name);
    if (page.visible != visible) {
        page.visible = visible;
        if (pagesChanged)
            pagesChanged();
    }
}

void Form::PageControl1Changing() {
    pages_[static_cast<size_t>(activePage_)].highlighted = false;
}

void Form::PageControl1Change() {
    pages_[static_cast<size_t>(activePage_)].highlighted = true;
    if (pagesChanged)
        pagesChanged();
}

void Form::SelectPage(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size()))
        return;
    PageControl1Changing();
    activePage_ = index;
    PageControl1Change();
}

void Form::btnNextClick() {
    const int count = static_cast<int>(pages_.size());
    for (int step = 1; step <= count; ++step) {
        const int i = (activePage_ + step) % count;
        if (pages_[static_cast<size_t>(i)].visible) {
            SelectPage(i);
            return;
        }
    }
}

void Form::btnPrevClick() {
    const int count = static_cast<int>(pages_.size());
    for (int step = 1; step <= count; ++step) {
        const int i = (activePage_ - step + count) % count;
        if (pages_[static_cast<size_t>(i)].visible) {
            SelectPage(i);
            return;
        }
    }
}

// ---------------------------------------------------------------- models and buttons

bool Form::SetupModel(const std::string& modelName, char variant) {
    bool known = true;
    ActiveVariant = variant != 0 ? std::string(1, variant)
                                 : (modelName.size() >= 6 ? modelName.substr(5, 1) : "");
    for (const char* page : kCommonPages)
        ShowPage(page, true);
    if (ActiveVariant == "A" || ActiveVariant == "U") {
        for (const char* page : kPPages)
            ShowPage(page, false);
        for (const char* page : kAPages)
            ShowPage(page, true);
    } else if (ActiveVariant == "P") {
        for (const char* page : kAPages)
            ShowPage(page, false);
        for (const char* page : kPPages)
            ShowPage(page, true);
    }

    const std::string family = modelName.substr(0, 5);
    if (modelName == "R210-P") {
        ShowPage("LinearisationSheet", false);
        ShowPage("LogParamSheet", false);
    } else if (modelName == "R210-A" || modelName == "R210-U") {
        ShowPage("LinearisationASheet", false);
        ShowPage("LogParamSheet", false);
    } else if (modelName == "R210-P-HX") {
        ShowPage("LinearisationSheet", false);
        ShowPage("LogParamSheet", device.HasDataLog);
    } else if (modelName == "R212-A" || modelName == "R212-P") {
        ShowPage("LogParamSheet", false);
    } else if (family == "Q4200" || family == "N0456") {
        ShowPage("LogParamSheet", device.HasDataLog);
    } else {
        for (Page& page : pages_)
            if (page.name != "ConfigurationSheet")
                page.visible = false;
        if (pagesChanged)
            pagesChanged();
        known = false;
    }

    if (!device.Model.empty() && hooks.loadModelDefaults)
        hooks.loadModelDefaults(device.ModelVersionKey());
    if (hooks.updateUnitTexts)
        hooks.updateUnitTexts();
    ShowPage("ConfigurationSheet", true);
    SelectPage(0);
    return known;
}

void Form::UpdateButtons() {
    const int32_t serial = device.SerialNumber;
    const int state = serial < 0 ? 0 : serial == 0 ? 1 : 2;
    SetCaption("OfflineButton",
               state == 1 ? "Leave offline configuration" : "Enter offline configuration");
    SetCaption("ConnectButton", state == 2 ? "Release device" : "Connect device");
    for (const ButtonRow& row : kButtonTable)
        SetEnabled(row.control, state == 0 ? row.noUnit : state == 1 ? row.offline : row.connected);
    SetEnabled("LogdataButton", state == 2 && device.HasDataLog);
}

// ---------------------------------------------------------------- the window

void Form::FormCreate() {
    versionText = ToolVersionText();
    if (hooks.showSplash)
        hooks.showSplash();
    OfflineMode = false;
    Updating = false;
    BulkLoading = false;
    ExpectedSerialNumber = -1;
    device.SerialNumber = -1;
    SetupModel("", 0);
    if (hooks.portSetupDefaults)
        hooks.portSetupDefaults();
    if (hooks.waitSplash)
        hooks.waitSplash();
    if (hooks.portSetupFinish)
        hooks.portSetupFinish();
    SetText("ModelLabel", kHomeHelpText);
    UpdateButtons();
    NotifyWindow();
}

void Form::FormShow() {
    if (hooks.loadBusSettings)
        hooks.loadBusSettings(SettingsFileName);
}

void Form::FormClose() {
    if (hooks.saveBusSettings)
        hooks.saveBusSettings(SettingsFileName);
}

void Form::ModbusButtonClick() {
    if (hooks.showPortSetup)
        hooks.showPortSetup();
}

void Form::Button13Click() {
    SetEnabled("CommunicAddressEdit", true);
    SetText("CommunicAddressEdit", (*this)["CommunicAddressEdit"].text == "2" ? "1" : "2");
}

void Form::StatusBar1MouseMove(int x, int y, int width, int height) {
    // The status text takes the bar's spare width, so "About..." is its last panel's width
    // at the right edge; it never begins left of where the first two panels end.
    const int aboutLeft =
        std::max(kStatusPanelWidths[0] + kStatusPanelWidths[1], width - kStatusPanelWidths[2]);
    AboutHot = x >= aboutLeft && x < width && y >= 0 && y < height;
}

void Form::StatusBar1Click() {
    if (AboutHot && hooks.showAbout)
        hooks.showAbout();
}

} // namespace vantrel::editor
