#pragma once

// The face of the save/export dialog (config::TSaveExportForm): modeless, owned by the main
// window, one widget per control of the model under the control's name.

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace vantrel::config {
class TSaveExportForm;
} // namespace vantrel::config

namespace vantrel::ui {

class SaveExportDialog final : public QDialog {
    Q_OBJECT
public:
    SaveExportDialog(config::TSaveExportForm& model, QWidget* parent);

private:
    void ShowModel();

    config::TSaveExportForm& model_;
    QRadioButton* saveCvc_;
    QRadioButton* exportCsv_;
    QRadioButton* exportTxt_;
    QLineEdit* company_;
    QLineEdit* location_;
};

} // namespace vantrel::ui
