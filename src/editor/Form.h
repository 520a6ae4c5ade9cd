#pragma once

// The main window as data: every control under its own name with what its widget would hold,
// the pages, the status panels and the window's flags. The rules work on this; the Qt face
// only shows it and feeds user input back in.

#include "common/Device.h"
#include "editor/Control.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vantrel::editor {

// What the window asks of the world around it. Later parts of the tool fill these in; an
// empty hook does nothing.
struct FormHooks {
    std::function<void(const std::string& modelVersionKey)> loadModelDefaults;
    std::function<void()> updateUnitTexts;
    std::function<void()> showSplash;  // the start-up window, shown; pending messages run
    std::function<void()> waitSplash;  // until the start-up window's timer fired; then closed
    std::function<void()> showAbout;   // the start-up window as about box, modal
    std::function<void()> portSetupDefaults; // the port setup's start-up selections
    std::function<void()> portSetupFinish;   // its RTU time-out field "20", value 20
    std::function<void(const std::string& path)> loadBusSettings;
    std::function<void(const std::string& path)> saveBusSettings;
    std::function<void()> showPortSetup;
};

class Form {
public:
    // Reads ShowPopups from the settings file (section "Popups", key "Show", default 1).
    Form(Device& device, std::string settingsFileName);

    Device& device;
    FormHooks hooks;

    // Window state.
    bool ShowPopups = true;
    bool OfflineMode = false;
    bool Updating = false;
    bool BulkLoading = false;
    int32_t ExpectedSerialNumber = -1;
    std::string ActiveVariant;
    std::string TotalUnitText, FlowrateUnitText, IntervalText;
    std::string CompanyName, DeviceLocation;
    std::string SettingsFileName;
    std::string ModelVersionKey; // the window's copy, for its logs
    std::string versionText;
    bool AboutHot = false;
    bool TimeEdited = false;
    bool TransferErrorLogged = false;
    bool enabled = true; // the whole window (disabled while a device run works)
    std::string statusPanels[3];
    // The progress of a bulk run (parameters done of the run's total); total 0: no bar.
    int progressDone = 0, progressTotal = 0;

    // Controls.
    bool Has(std::string_view name) const;
    Control& operator[](std::string_view name);
    const Control& operator[](std::string_view name) const;
    const std::vector<Control>& Controls() const { return controls_; }

    // Program-side changes. Those of a value fire the control's change handler, as a
    // widget would when a program step sets it.
    void SetItemIndex(std::string_view name, int index);
    void SetText(std::string_view name, const std::string& text);
    void SetTime(std::string_view name, TimeOfDay time);
    void SetDate(std::string_view name, CalendarDate date);
    void SetEnabled(std::string_view name, bool enabled);
    void SetVisible(std::string_view name, bool visible);
    void SetCaption(std::string_view name, const std::string& caption);
    void SetHighlighted(std::string_view name, bool highlighted);
    // Marks exactly these controls as differing (a comparison's result); the rest unmarked.
    void MarkControls(const std::vector<std::string>& names);
    // One button of a unit-button box; a disabled button cannot be chosen by the user.
    void SetItemEnabled(std::string_view name, int index, bool enabled);
    bool ItemEnabled(std::string_view name, int index) const;

    // User input, as the widgets report it.
    // A key typed into an edit: false when the key filter drops it.
    bool KeyPress(std::string_view name, char key);
    // Text the user typed (cut at the edit's maximum length).
    void UserEdit(std::string_view name, const std::string& text);
    // A choice clicked; nothing when the control or that item is disabled. Clicking the
    // choice that is already made runs the reselect handlers only.
    void UserSelect(std::string_view name, int index);
    void Click(std::string_view name);
    // The user's key or click reached the control without changing what it holds (a choice
    // clicked again, an edit's text typed over with the same text): it is edited all the same.
    void UserTouch(std::string_view name);
    // The focus moves here, by the user or by a program step. The control left runs its exit
    // handlers only when the user edited it since it was last left or set by the program,
    // and not while Updating or BulkLoading: a run or a load that moves the focus from control
    // to control corrects nothing, and neither does a page's first control taking the focus
    // when its tab opens.
    void SetFocus(std::string_view name);
    const std::string& Focused() const { return focus_; }
    // Edited by the user: a key the control took, a text typed or pasted, a choice clicked, a
    // click that changed its value. A click into an edit that changes nothing is no edit.
    bool Edited(std::string_view name) const;
    // The focused control's exit handlers run now if the user edited it, as leaving it would;
    // the focus stays. A button pressed by its shortcut acts on the checked value.
    void FinishEdit();

    // Handlers of the rules, by control name.
    void OnChange(std::string_view name, std::function<void()> handler);
    void OnClick(std::string_view name, std::function<void()> handler);
    void OnExit(std::string_view name, std::function<void()> handler);
    void OnKey(std::string_view name, std::function<bool(char)> handler);
    void OnReselect(std::string_view name, std::function<void()> handler);

    // Pages.
    std::vector<Page>& Pages() { return pages_; }
    const std::vector<Page>& Pages() const { return pages_; }
    Page& PageNamed(std::string_view name);
    int PageIndex(std::string_view name) const;
    int ActivePage() const { return activePage_; }
    const std::string& ActivePageName() const { return pages_[activePage_].name; }
    // Makes a page active as a click on its tab would (the change notifications run).
    void SelectPage(int index);
    void ShowPage(std::string_view name, bool visible);

    // The rules of the window itself.
    bool SetupModel(const std::string& modelName, char variant);
    void UpdateButtons();
    void btnNextClick();
    void btnPrevClick();
    void PageControl1Changing();
    void PageControl1Change();
    void FormCreate();
    void FormShow();
    void FormClose();
    void ModbusButtonClick();
    void Button13Click();
    // Mouse over the status bar at (x, y); width and height of the bar.
    void StatusBar1MouseMove(int x, int y, int width, int height);
    void StatusBar1Click();
    void SetStatus(int panel, const std::string& text);
    // total 0 hides the bar.
    void SetProgress(int done, int total);

    // For the binding: called after a control, a page or a panel changed.
    std::function<void(const Control&)> controlChanged;
    std::function<void()> pagesChanged;
    std::function<void()> windowChanged; // status panels, enabled, focus
    // A run works on this control: the face scrolls it into view.
    std::function<void(std::string_view control)> ensureVisible;

private:
    Control* Find(std::string_view name);
    const Control* Find(std::string_view name) const;
    void Notify(const Control& control);
    void Fire(const std::unordered_map<std::string, std::vector<std::function<void()>>>& handlers,
              std::string_view name);
    void NotifyWindow();
    void Leave(const std::string& control);
    // A program step that sets a control's value makes it no longer the user's.
    void ProgramSet(std::string_view name);

    std::vector<Control> controls_;
    // Looked up by string_view without making a string of the name each time: the rules
    // name controls by literal in every handler.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> index_;
    std::vector<Page> pages_;
    int activePage_ = 0;
    std::string focus_;
    std::unordered_set<std::string> edited_;
    int userInput_ = 0; // inside a user input: the values it sets are the user's
    std::unordered_map<std::string, std::vector<std::function<void()>>> changeHandlers_;
    std::unordered_map<std::string, std::vector<std::function<void()>>> clickHandlers_;
    std::unordered_map<std::string, std::vector<std::function<void()>>> exitHandlers_;
    std::unordered_map<std::string, std::function<bool(char)>> keyHandlers_;
    std::unordered_map<std::string, std::vector<std::function<void()>>> reselectHandlers_;
};

// Widths of the status bar's panels: the current device, the status text (which also takes
// the bar's spare width) and "About...".
inline constexpr int kStatusPanelWidths[3] = {300, 370, 74};

// The help text of the HOME page.
extern const char* const kHomeHelpText;

} // namespace vantrel::editor
