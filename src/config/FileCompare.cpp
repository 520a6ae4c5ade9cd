#include "config/FileCompare.h"

#include "config/ConfigFiles.h"
#include "config/ConfigurationFile.h"
#include "editor/EditingRules.h"

namespace vantrel::config {

namespace {

// Nobody is asked anything while a file is loaded for a comparison; what loading would
// tell (choices beyond their lists) is not the comparison's news.
class QuietPrompts final : public host::Prompts {
public:
    host::PromptAnswer Ask(const std::string&, const std::string&, host::PromptIcon,
                           host::PromptButtons buttons) override {
        switch (buttons) {
        case host::PromptButtons::YesNo:
        case host::PromptButtons::YesNoCancel:
            return host::PromptAnswer::Yes;
        default:
            return host::PromptAnswer::Ok;
        }
    }
    std::string InputBox(const std::string&, const std::string&,
                         const std::string& initial) override {
        return initial;
    }
    std::optional<std::string> OpenFileName(const host::FileDialogOptions&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const host::FileDialogOptions&) override {
        return std::nullopt;
    }
};

} // namespace

std::vector<std::string> FileControls() {
    std::vector<std::string> controls;
    for (const KeyRow& row : ConfigurationKeys())
        controls.push_back(row.control);
    return controls;
}

std::optional<editor::Snapshot> FileSnapshot(const editor::Form& like, const std::string& path,
                                             std::string& error,
                                             const std::string& decimalSeparator) {
    Device device = like.device;
    editor::Form form(device, like.SettingsFileName);
    form.ShowPopups = false;
    QuietPrompts prompts;
    editor::EditingRules rules(form, prompts, decimalSeparator);
    ConfigFiles files(form, rules, prompts);
    // The file alone decides the values, not the per-model defaults beside the program.
    form.hooks.loadModelDefaults = nullptr;
    form.SetupModel(device.Model, device.Variant);
    for (size_t i = 0; i < form.Pages().size() && i < like.Pages().size(); ++i)
        form.Pages()[i].visible = like.Pages()[i].visible;
    if (!files.ReadConfigurationFile(path, device.Model, false)) {
        error = files.LoadFailureText();
        return std::nullopt;
    }
    rules.UpdateValues();
    editor::Snapshot snapshot = editor::TakeSnapshot(form);
    editor::KeepOnly(snapshot, FileControls());
    return snapshot;
}

} // namespace vantrel::config
