#pragma once

// The main window's face (TConfigForm, "Vantrel"): one widget per control of editor::Form,
// named as the control, on the tab pages of PageControl1, with the button row and StatusBar1
// above the pages and the bus component's bar Modbus1 along the bottom. User input goes into
// the Form, which runs the rules; what the Form then holds comes back out to the widgets with
// their signals blocked.

#include "editor/Control.h"

#include <QMainWindow>
#include <QTimer>

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

class QButtonGroup;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace vantrel::editor {
class Form;
}
namespace vantrel::modbus {
class TModbus;
}

namespace vantrel::ui {

class PanelBar;
class TModbus;
class TModConfigForm;
class TStartUpForm;

class TConfigForm final : public QMainWindow {
    Q_OBJECT
public:
    TConfigForm(editor::Form& form, modbus::TModbus& bus, int splashMs = 1000);
    ~TConfigForm() override;

    editor::Form& Form() const { return form_; }
    // The widget of a control (the line edit, the radio group's box, ...), or null.
    QWidget* Widget(const std::string& name) const;
    QTabWidget* PageControl1() const { return pages_; }
    PanelBar* StatusBar1() const { return statusBar_; }
    // Beside the status bar while a bulk run reports its progress.
    QProgressBar* ProgressBar1() const { return progress_; }
    TModbus* Modbus1() const { return modbus_; }
    TModConfigForm* ModConfigForm() const;
    TStartUpForm* StartUpForm() const { return startUp_; }

    // Shows what the Form holds now (all controls, pages, panels).
    void ShowAll();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Binding {
        QWidget* widget = nullptr;   // named after the control
        QWidget* frame = nullptr;    // what hides and shows with the control
        QGroupBox* titled = nullptr; // carries the caption (radio groups, captioned fields)
        QButtonGroup* buttons = nullptr;
        QGridLayout* grid = nullptr;    // the page grid the frame sits in, if any
        std::vector<std::string> items; // radio captions as built
    };

    void Build();
    QWidget* BuildPage(const editor::Page& page);
    void LayOut(const std::vector<const editor::Control*>& list, QWidget* parent, QGridLayout* grid,
                int columns, std::vector<QPushButton*>* navigation);
    QWidget* MakeRadioGroup(const editor::Control& c, QWidget* parent);
    void FillRadioButtons(const editor::Control& c, Binding& b);
    QWidget* MakeField(const editor::Control& c, const std::vector<const editor::Control*>& extras,
                       QWidget* parent);
    QWidget* MakeValueWidget(const editor::Control& c, QWidget* parent);
    QWidget* MakeRowTable(const std::vector<const editor::Control*>& run, QWidget* parent);
    QWidget* MakeLabelGrid(const std::vector<const editor::Control*>& run, QWidget* parent);
    QWidget* MakeButtonColumn(const std::vector<const editor::Control*>& run, QWidget* parent);
    QLabel* MakeLabel(const editor::Control& c, QWidget* parent);
    QPushButton* MakeButton(const editor::Control& c, QWidget* parent);
    QWidget* MakeCombo(const editor::Control& c, QWidget* parent);
    QWidget* MakeGroupBox(const editor::Control& c, QWidget* parent);
    void BindEdit(const editor::Control& c, QLineEdit* edit);

    void ShowControl(const editor::Control& c);
    void ShowPages();
    void ShowWindow();
    void ApplyFocus();
    void FocusOpenedPage(QWidget* pageBefore);
    void OrderTabs(QWidget* page);
    void EnsureVisible(const std::string& name);
    void FocusChanged(QWidget* old, QWidget* now);
    void TextEdited(const std::string& name, const QString& text);
    void StatusBarMouse(QPoint at);
    std::string ControlOf(QWidget* widget) const;

    editor::Form& form_;
    modbus::TModbus& bus_;
    std::unordered_map<std::string, Binding> bindings_;
    std::unordered_map<const QObject*, std::string> editNames_;
    std::vector<const editor::Control*> pageControls_;
    QTabWidget* pages_ = nullptr;
    PanelBar* statusBar_ = nullptr;
    QProgressBar* progress_ = nullptr;
    TModbus* modbus_ = nullptr;
    TStartUpForm* startUp_ = nullptr;
    QWidget* hidden_ = nullptr; // holds controls hidden from the start, off the page grids
    bool stretched_ = false;    // a row table took the page's spare height
    bool typedKey_ = false;     // the last text change came from a key the Form let through
    bool applyingFocus_ = false;
    bool shown_ = false;
    // While a run holds the window, its repaints are drawn together at a bounded rate.
    QTimer* paintLater_ = nullptr;
    std::chrono::steady_clock::time_point lastPaint_;
};

} // namespace vantrel::ui
