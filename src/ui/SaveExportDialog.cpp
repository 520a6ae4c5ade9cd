#include "ui/SaveExportDialog.h"

#include "config/SaveExportForm.h"

#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantrel::ui {

namespace {

QLabel* Underlined(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    return label;
}

} // namespace

SaveExportDialog::SaveExportDialog(config::TSaveExportForm& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setObjectName("TSaveExportForm");
    setWindowTitle(config::kSaveExportCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* group = new QGroupBox(" Save configuration ", this);
    auto* grid = new QGridLayout(group);
    auto radio = [group](const char* name, const char* text) {
        auto* button = new QRadioButton(text, group);
        button->setObjectName(name);
        return button;
    };
    saveCvc_ = radio("rbSaveCVC", "Save to .cvc");
    exportCsv_ = radio("rbExportCSV", "Export to .csv");
    exportTxt_ = radio("rbExportTXT", "Export to .txt");
    QRadioButton* print = radio("rbExportPrint", "Print");
    print->setEnabled(config::TSaveExportForm::kPrintEnabled);
    company_ = new QLineEdit(group);
    company_->setObjectName("tfCompany");
    location_ = new QLineEdit(group);
    location_->setObjectName("tfLocation");
    grid->addWidget(Underlined("Label1", "Save configuration:", group), 0, 0, 1, 2);
    grid->addWidget(saveCvc_, 1, 0, 1, 2);
    grid->addWidget(Underlined("lblExport", "Export configuration:", group), 2, 0, 1, 2);
    grid->addWidget(exportCsv_, 3, 0, 1, 2);
    grid->addWidget(exportTxt_, 4, 0, 1, 2);
    grid->addWidget(print, 5, 0, 1, 2);
    grid->addWidget(new QLabel("Company name", group), 6, 0);
    grid->addWidget(company_, 6, 1);
    grid->addWidget(new QLabel("Device location", group), 7, 0);
    grid->addWidget(location_, 7, 1);

    auto* save = new QPushButton("Save configuration", this);
    save->setObjectName("Button1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(save);

    const std::pair<QRadioButton*, config::SaveKind> choices[] = {
        {saveCvc_, config::SaveKind::ConfigurationFile},
        {exportCsv_, config::SaveKind::CsvReport},
        {exportTxt_, config::SaveKind::TextReport}};
    for (const auto& [button, kind] : choices)
        connect(button, &QRadioButton::clicked, this, [this, kind = kind] {
            model_.Select(kind);
            ShowModel();
        });
    connect(company_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.tfCompany = text.toStdString(); });
    connect(location_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.tfLocation = text.toStdString(); });
    connect(save, &QPushButton::clicked, this, [this] {
        model_.Button1Click();
        close();
    });
    ShowModel();
}

void SaveExportDialog::ShowModel() {
    saveCvc_->setChecked(model_.Choice() == config::SaveKind::ConfigurationFile);
    exportCsv_->setChecked(model_.Choice() == config::SaveKind::CsvReport);
    exportTxt_->setChecked(model_.Choice() == config::SaveKind::TextReport);
    company_->setEnabled(model_.HeaderEditsEnabled());
    location_->setEnabled(model_.HeaderEditsEnabled());
    company_->setText(QString::fromStdString(model_.tfCompany));
    location_->setText(QString::fromStdString(model_.tfLocation));
}

} // namespace vantrel::ui
