#pragma once

// Configuration files on the main window: the built-in default configuration, the writer and
// the reader of ".cvc" files (and of the per-model default files and the reports, which share
// the layout), the per-model defaults, offline configuration and the buttons that start them.
// Everything works on the Form; the user is asked through Prompts.

#include "config/ConfigurationFile.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/Prompts.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::config {

class TSaveExportForm;

struct LocalDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalDateTime CurrentLocalTime();
// "yyyy-MM-dd HH:nn:ss".
std::string DateTimeText(const LocalDateTime& time);

// Texts shown to the user.
extern const char* const kAppTitle;
extern const char* const kLoadedConfiguration;
extern const char* const kFileNotValid;
extern const char* const kSavedConfiguration;
extern const char* const kUnableToSave;
extern const char* const kLoadDefaultQuestion;
extern const char* const kDefaultCaption;
extern const char* const kLoadedDefault;
extern const char* const kUnableToLoadDefault;
extern const char* const kSaveDefaultQuestion;
extern const char* const kSavedDefault;
extern const char* const kUnableToSaveDefault;
extern const char* const kNoOfflineDevice;
extern const char* const kNoOfflineDeviceCaption;
extern const char* const kConfigurationFilter;
extern const char* const kOutOfRangeIntro;
extern const char* const kSavedAsUtf16;

// The main window's save dialog as the save/export dialog leaves it for the save flow.
struct SaveDialogSetup {
    std::string defaultExtension = "cvc";
    std::string fileName = "*.cvc";
    std::string filter = kConfigurationFilter;
};

class ConfigFiles {
public:
    // Binds the buttons of this part and the Form's loadModelDefaults hook. Must live as long
    // as the Form runs events.
    ConfigFiles(editor::Form& form, editor::EditingRules& rules, host::Prompts& prompts);
    ~ConfigFiles();
    ConfigFiles(const ConfigFiles&) = delete;
    ConfigFiles& operator=(const ConfigFiles&) = delete;

    // The local clock, for the file header and the date picker.
    std::function<LocalDateTime()> now = CurrentLocalTime;
    // Where a per-model default file of this name lives (beside the executable, or the
    // user's configuration folder when that is not writable; the user's data folder once
    // installed).
    std::function<std::string(const std::string& fileName)> defaultsPath;
    SaveDialogSetup saveDialog;
    // The face shows the save/export dialog, modeless; without it "Save Config." only
    // creates the dialog's model.
    std::function<void(TSaveExportForm&)> showSaveExport;

    // Puts the built-in default configuration into the controls; always true.
    bool ApplyBuiltInDefaults(const std::string& modelName);

    // The whole file as text (lines end with CR LF).
    std::string ConfigurationText(const std::string& id, const std::string& separator,
                                  bool defaultsMode) const;
    // True when the file was written completely; an old file stays as it was otherwise, and
    // `error` says why (the path and what is wrong with it).
    bool WriteConfigurationFile(const std::string& path, const std::string& id,
                                const std::string& separator, bool defaultsMode,
                                std::string* error = nullptr) const;
    // True when the file matched the model and its values were applied; nothing changes
    // when it did not match or could not be read. Choices beyond their list are held within
    // it and told to the user once, as one warning.
    bool ReadConfigurationFile(const std::string& path, const std::string& expectedModel,
                               bool defaultsMode);
    // Why the last ReadConfigurationFile failed when the file could not be read as text at
    // all ("Unable to load PATH: no such file."); the model check's own text when it was read
    // but is not for the model.
    std::string LoadFailureText() const;
    // The choices of the last load that were beyond their list, one "SECTION/KEY: …" a line.
    const std::vector<std::string>& OutOfRange() const { return outOfRange_; }
    bool ReadConfigurationText(const std::string& text, const std::string& expectedModel,
                               bool defaultsMode);

    std::string ModelDefaultsPath(const std::string& key) const;
    bool LoadModelDefaults(const std::string& key);
    bool SaveModelDefaults(const std::string& key);

    // Button handlers.
    void LoadConfigButtonClick();
    void SaveConfigButtonClick();
    void LoadDefaultButtonClick();
    void SaveDefaultButtonClick();
    void FactoryConfigButtonClick();
    void OfflineButtonClick();
    // "Save Config.": a new save/export dialog each time (an open one is closed first).
    void SaveConfigButtonNewClick();
    TSaveExportForm* SaveExportForm() const { return saveExportForm_.get(); }

private:
    void Inform(const std::string& text);
    bool WrittenNow(Written written, const std::string& id, bool defaultsMode) const;

    editor::Form& form_;
    editor::EditingRules& rules_;
    host::Prompts& prompts_;
    std::unique_ptr<TSaveExportForm> saveExportForm_;
    std::string readProblem_;
    std::vector<std::string> outOfRange_;
};

} // namespace vantrel::config
