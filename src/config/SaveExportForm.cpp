#include "config/SaveExportForm.h"

namespace vantrel::config {

const char* const kSaveExportCaption = "Save or export configuration";

namespace {

const SaveKindRow kSaveKinds[] = {
    {SaveKind::ConfigurationFile, "cvc", "*.cvc", kConfigurationFilter, false},
    {SaveKind::CsvReport, "csv", "*.csv", "Comma separated (*.csv)|*.csv|Any file (*.*)|*.*", true},
    {SaveKind::TextReport, "txt", "*.txt", "Text files (*.txt)|*.txt|Any file (*.*)|*.*", true},
};

} // namespace

const SaveKindRow& SaveKindOf(SaveKind kind) {
    for (const SaveKindRow& row : kSaveKinds)
        if (row.kind == kind)
            return row;
    return kSaveKinds[0];
}

TSaveExportForm::TSaveExportForm(ConfigFiles& files, std::string& companyName,
                                 std::string& deviceLocation)
    : files_(files), companyName_(companyName), deviceLocation_(deviceLocation) {}

void TSaveExportForm::Select(SaveKind kind) {
    choice_ = kind;
}

void TSaveExportForm::Button1Click() {
    const SaveKindRow& row = SaveKindOf(choice_);
    files_.saveDialog.defaultExtension = row.defaultExtension;
    files_.saveDialog.fileName = row.fileName;
    files_.saveDialog.filter = row.filter;
    if (row.updatesHeader) {
        companyName_ = tfCompany;
        deviceLocation_ = tfLocation;
    }
    files_.SaveConfigButtonClick();
    closed_ = true;
}

} // namespace vantrel::config
