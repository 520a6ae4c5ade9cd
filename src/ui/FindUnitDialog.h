#pragma once

// "Find unit...": the search of the line for units, with its choices (speeds, framing,
// character format, addresses, the probe time-out, stop at the first or find all), its
// progress, the units found, and "Use this unit", which puts a unit's settings into the port
// setup and connects. The search runs in the dialog's own click handler; the worker's waits
// keep the window alive meanwhile, so Cancel and the close box act at once.

#include "device/UnitSearch.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace vantrel::modbus {
class PortSetup;
class TModThread;
} // namespace vantrel::modbus

namespace vantrel::ui {

// The dialog's own texts.
extern const char* const kFindUnitCaption;    // "Find unit"
extern const char* const kUseThisUnitCaption; // "Use this unit"

class FindUnitDialog final : public QDialog {
    Q_OBJECT
public:
    // connectUnit runs after "Use this unit" has put the unit's settings into the port setup.
    FindUnitDialog(modbus::TModThread& worker, modbus::PortSetup& setup,
                   std::function<void()> connectUnit, QWidget* owner);
    ~FindUnitDialog() override;

    // Shows the owner's dialog, made the first time (it stays until closed).
    static FindUnitDialog* Open(modbus::TModThread& worker, modbus::PortSetup& setup,
                                std::function<void()> connectUnit, QWidget* owner);

    // Called with false before a search and true after it: the windows whose runs would share
    // the port with it are disabled meanwhile.
    std::function<void(bool)> setWindowsEnabled;

    // The plan the choices make.
    device::SearchPlan Plan() const;
    bool Searching() const { return search_.Running(); }
    const std::vector<device::FoundUnit>& Found() const { return found_; }

    void StartSearch();
    void CancelSearch();
    void UseSelectedUnit();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void ShowProgress(const device::SearchProgress& progress);
    void UpdateButtons();

    modbus::TModThread& worker_;
    modbus::PortSetup& setup_;
    std::function<void()> connectUnit_;
    device::TUnitSearch search_;
    std::vector<device::FoundUnit> found_;
    bool closeWhenDone_ = false;

    std::vector<QCheckBox*> speeds_;   // one a speed of the port setup's list
    std::vector<QCheckBox*> parities_; // None, Even, Odd
    QCheckBox* eightBits_;
    QCheckBox* sevenBits_;
    QComboBox* framing_;
    QSpinBox* firstAddress_;
    QSpinBox* lastAddress_;
    QSpinBox* timeOut_;
    QCheckBox* findAll_;
    QPushButton* start_;
    QPushButton* cancel_;
    QPushButton* use_;
    QPushButton* close_;
    QProgressBar* progress_;
    QLabel* status_;
    QLabel* bad_;
    QListWidget* results_;
};

} // namespace vantrel::ui
