#pragma once

// The port setup dialog's face: a modeless dialog with one widget per control of
// modbus::PortSetup, named as the control. User input goes to the dialog model's handlers;
// whatever the model then holds is shown with the widgets' signals blocked.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStandardItemModel;
class QToolButton;

namespace vantrel::modbus {
class PortSetup;
struct UpDownEdit;
} // namespace vantrel::modbus

namespace vantrel::ui {

class PanelBar;

// The up-down beside an edit: two small arrow buttons; a click asks for value + step.
class UpDownButtons final : public QWidget {
    Q_OBJECT
public:
    explicit UpDownButtons(QWidget* parent = nullptr);
    QToolButton* Up() const { return up_; }
    QToolButton* Down() const { return down_; }

signals:
    void stepped(int step);

private:
    QToolButton* up_;
    QToolButton* down_;
};

class TModConfigForm final : public QDialog {
    Q_OBJECT
public:
    TModConfigForm(modbus::PortSetup& setup, QWidget* mainWindow);
    ~TModConfigForm() override;

    modbus::PortSetup& Model() const { return setup_; }
    // "Find unit...": opens the search of the line; set by the program.
    std::function<void()> findUnit;

    // Shows everything the model holds now.
    void Refresh();
    // The dialog is visible already: bring it back from the task bar and focus it.
    void RaiseAndFocus();
    // The "Bus monitor..." button.
    std::function<void()> showBusMonitor;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void changeEvent(QEvent* event) override;

private:
    struct UpDownBinding {
        modbus::UpDownEdit* model;
        QLineEdit* edit;
        UpDownButtons* upDown;
        QLabel* label;
        std::function<void(const std::string&)> change; // the edit's text changed
        std::function<void()> exit;                     // the edit was left
        std::function<void(int)> click;                 // the up-down asks for a value
    };

    void Build();
    QLineEdit* AddUpDown(QGridLayout* grid, int row, QLabel* label, const QString& name,
                         modbus::UpDownEdit& model,
                         void (modbus::PortSetup::*change)(const std::string&),
                         void (modbus::PortSetup::*exit)(), void (modbus::PortSetup::*click)(int));
    void RefreshPortList();
    void ApplyVisibility();
    void Place();
    void FitSize();
    UpDownBinding* BindingOf(QObject* edit);

    modbus::PortSetup& setup_;
    QPointer<QWidget> mainWindow_;
    bool refreshing_ = false;
    bool onTopShown_ = false;

    QCheckBox* allPorts_ = nullptr;
    QComboBox* port_ = nullptr;
    QStandardItemModel* portItems_ = nullptr;
    QComboBox* speed_ = nullptr;
    QComboBox* dataBits_ = nullptr;
    QComboBox* parity_ = nullptr;
    QComboBox* stopBits_ = nullptr;
    QLineEdit* changed_ = nullptr;
    PanelBar* status_ = nullptr;
    QRadioButton* ascii_ = nullptr;
    QRadioButton* rtu_ = nullptr;
    QLabel* responseLabel_ = nullptr;
    QGroupBox* miscellaneous_ = nullptr;
    QCheckBox* lock_ = nullptr;
    QCheckBox* onTop_ = nullptr;
    QCheckBox* cv700_ = nullptr;
    QPushButton* close_ = nullptr;
    std::vector<UpDownBinding> upDowns_;
};

} // namespace vantrel::ui
