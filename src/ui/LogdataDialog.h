#pragma once

// The face of the log data window (device::TLogdataForm): the list choice, the read and save
// buttons, the button that shows or hides the port setup, the header line and the readout's
// text, with a progress bar for the records read. One widget per control of the model under
// the control's name; the model's changes come back through its changed callback, also in the
// middle of a readout while the transactions pump events.

#include "device/LogSeries.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;

namespace vantrel::device {
class TDeviceAccess;
class TLogdataForm;
} // namespace vantrel::device
namespace vantrel::host {
class Pump;
}
namespace vantrel::modbus {
class TModbus;
}

namespace vantrel::ui {

class LogdataDialog final : public QDialog {
    Q_OBJECT
public:
    LogdataDialog(device::TLogdataForm& model, QWidget* owner);
    ~LogdataDialog() override;

    // Shows the window for the model (its FormShow runs) and returns once the model is
    // hidden; the window is gone by then.
    static void Run(device::TLogdataForm& model, QWidget* owner, host::Pump& pump);
    // As Run, with no unit asked: a file is opened (path, or the file dialog) instead.
    static void RunWithFile(device::TLogdataForm& model, QWidget* owner, host::Pump& pump,
                            const QString& path);
    // The main window's "Read log data": the unit check, then the window over the disabled
    // main window, which gets the focus back afterwards.
    static void Open(device::TDeviceAccess& access, modbus::TModbus& bus, QWidget* mainWindow,
                     host::Pump& pump);

    // The main window's "Open log file...": the window without a unit, a saved readout
    // opened into it (asked for at once), the main window disabled meanwhile.
    static void OpenFile(device::TDeviceAccess& access, QWidget* mainWindow, host::Pump& pump,
                         const QString& path = QString());

    // Brings the widgets in line with the model (hidden when the model is).
    void ShowModel();
    // The chart of the readout's text, beside it in a tab.
    class LogChartView* ChartView() const {
        return chart_;
    }
    QTabWidget* Tabs() const { return tabs_; }
    // The chart brought up to date with the text now (it follows by itself a moment later).
    void UpdateChart();
    // "Open log file...": asks for the file unless one is given.
    void OpenLogFile(const QString& path = QString());

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape: as the close box

private:
    device::TLogdataForm& model_;
    QComboBox* lists_;
    QPushButton* read_;
    QPushButton* save_;
    QToolButton* setup_;
    QLineEdit* header_;
    QPlainTextEdit* memo_;
    QProgressBar* progress_;
    QPushButton* open_;
    QTabWidget* tabs_;
    class LogChartView* chart_;
    QTimer* chartTimer_;
    device::LogSeriesBuilder series_;
    size_t chartedLines_ = 0;
    std::string chartedFirstLine_;
    std::vector<std::string> shownItems_;
    size_t shownLines_ = 0;
    std::string shownFirstLine_;
};

} // namespace vantrel::ui
