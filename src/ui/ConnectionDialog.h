#pragma once

// The face of the "Configure as" dialog (device::TConnectionForm): a fixed-size window centred
// on the main window, one widget per control of the model under the control's name. It is
// shown modelessly; the identification waits for it, pumping events, until it is hidden.

#include <QDialog>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vantrel::device {
class TConnectionForm;
}
namespace vantrel::host {
class Pump;
}

namespace vantrel::ui {

class ConnectionDialog final : public QDialog {
    Q_OBJECT
public:
    ConnectionDialog(device::TConnectionForm& model, QWidget* owner);

    // Shows the dialog for the model and returns once the model is hidden ("Connect" with a
    // choice, "Cancel", or the window closed); the dialog is gone by then.
    static void Run(device::TConnectionForm& model, QWidget* owner, host::Pump& pump);

    // Brings the widgets in line with the model (hidden when the model is).
    void ShowModel();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape: as "Cancel"

private:
    device::TConnectionForm& model_;
    QLabel* message_;
    QComboBox* units_;
    QProgressBar* progress_;
    QPushButton* retry_;
};

} // namespace vantrel::ui
