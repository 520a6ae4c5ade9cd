#pragma once

// The "Save or export configuration" dialog as data: the user picks a configuration file or a
// CSV or text report, types the company and location for a report's header, and the main
// window's save flow runs with its file dialog prepared for that kind.

#include "config/ConfigFiles.h"

#include <string>

namespace vantrel::config {

enum class SaveKind { ConfigurationFile, CsvReport, TextReport };

// One row per kind: what the save dialog gets and whether the header fields are taken over.
struct SaveKindRow {
    SaveKind kind;
    const char* defaultExtension;
    const char* fileName;
    const char* filter;
    bool updatesHeader;
};
const SaveKindRow& SaveKindOf(SaveKind kind);

extern const char* const kSaveExportCaption;

class TSaveExportForm {
public:
    // The main window's header fields, which an export overwrites and every later file
    // carries.
    TSaveExportForm(ConfigFiles& files, std::string& companyName, std::string& deviceLocation);

    // The choice made (rbSaveCVC, rbExportCSV, rbExportTXT); "Print" (rbExportPrint) is never
    // enabled and cannot be chosen.
    SaveKind Choice() const { return choice_; }
    static constexpr bool kPrintEnabled = false;
    // A radio button clicked: the company and location edits are open for the exports only.
    void Select(SaveKind kind);
    bool HeaderEditsEnabled() const { return choice_ != SaveKind::ConfigurationFile; }

    std::string tfCompany;
    std::string tfLocation;

    // "Save configuration": prepares the save dialog, runs the save flow and closes the dialog
    // whatever came of it.
    void Button1Click();
    bool Closed() const { return closed_; }

private:
    ConfigFiles& files_;
    std::string& companyName_;
    std::string& deviceLocation_;
    SaveKind choice_ = SaveKind::ConfigurationFile;
    bool closed_ = false;
};

} // namespace vantrel::config
