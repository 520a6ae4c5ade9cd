#include "ui/CompareButtons.h"

#include "config/ConfigFiles.h"
#include "config/FileCompare.h"
#include "device/DeviceAccess.h"
#include "editor/Compare.h"
#include "host/Prompts.h"

#include <vector>

namespace vantrel::ui {

const char* const kUnitValuesUnknown = "The values of this unit have not been read since it was "
                                       "connected. Please read the device first.";
const char* const kCompareUnitIntro = "Values that differ between the unit and the form:";
const char* const kCompareFileIntro = "Values that differ between the form and the file ";
const char* const kNoValuesDifferFromFile = "No values differ from the file";

namespace {

constexpr const char* kCompareUnitCaption = "Compare with unit";
constexpr const char* kCompareFileCaption = "Compare with file";
constexpr const char* kCompareFileTitle = "Compare with file...";

// The list shown and the controls marked; an empty list says so in its one line.
void Show(editor::Form& form, host::Prompts& prompts, const std::string& intro,
          const std::vector<editor::Difference>& differences, const char* none,
          const std::string& fromName, const std::string& toName, const char* caption) {
    std::vector<std::string> lines, controls;
    for (const editor::Difference& d : differences) {
        lines.push_back(editor::DifferenceLine(d, fromName, toName));
        controls.push_back(d.control);
    }
    if (lines.empty())
        lines.push_back(none);
    form.MarkControls(controls);
    prompts.AskWithList(intro, lines, caption, host::PromptIcon::Information,
                        host::PromptButtons::Ok);
}

} // namespace

void WireCompareButtons(device::TDeviceAccess& access, host::Prompts& prompts,
                        std::string decimalSeparator) {
    editor::Form& form = access.MainForm();
    form.OnClick("CompareUnitButton", [&access, &prompts, &form] {
        const editor::Snapshot* unit = access.UnitValues();
        if (!unit || form.ExpectedSerialNumber != form.device.SerialNumber) {
            prompts.Inform(kUnitValuesUnknown, kCompareUnitCaption, host::PromptIcon::Information);
            return;
        }
        const auto differences = editor::Differences(*unit, editor::TakeSnapshot(form));
        Show(form, prompts, kCompareUnitIntro,
             differences.value_or(std::vector<editor::Difference>{}), editor::kNoValuesDiffer,
             "unit", "form", kCompareUnitCaption);
    });
    form.OnClick("CompareFileButton", [&prompts, &form, decimalSeparator] {
        host::FileDialogOptions options;
        options.title = kCompareFileTitle;
        options.fileName = "*.cvc";
        options.filter = config::kConfigurationFilter;
        options.defaultExtension = "cvc";
        options.mustExist = true;
        const std::optional<std::string> path = prompts.OpenFileName(options);
        if (!path)
            return;
        std::string error;
        // The loading's own message for a file of another model, a garbled or a missing one;
        // nothing is compared then.
        const auto file = config::FileSnapshot(form, *path, error, decimalSeparator);
        if (!file) {
            prompts.Inform(error, kCompareFileCaption, host::PromptIcon::Error);
            return;
        }
        editor::Snapshot current = editor::TakeSnapshot(form);
        const auto differences = editor::Differences(current, *file);
        Show(form, prompts, kCompareFileIntro + *path + ":",
             differences.value_or(std::vector<editor::Difference>{}), kNoValuesDifferFromFile,
             "form", "file", kCompareFileCaption);
    });
    // The marks hold until the form's values come from the unit or a file again.
    for (const char* button : {"ConnectButton", "DownloadButton", "LoadConfigButton",
                               "LoadDefaultButton", "FactoryConfigButton", "OfflineButton"})
        form.OnClick(button, [&form] { form.MarkControls({}); });
}

} // namespace vantrel::ui
