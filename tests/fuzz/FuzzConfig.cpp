// Configuration files come from disk and are untrusted: any bytes must be refused or read into
// the controls without a fault, and what was read must write out again.

#include "config/ConfigFiles.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static vantrel::Device device;
    static vantrel::editor::Form form(device, "/nonexistent/vantrel-fuzz.ini");
    static vantrel::host::ScriptedPrompts prompts;
    static vantrel::editor::EditingRules rules(form, prompts);
    static vantrel::config::ConfigFiles files(form, rules, prompts);
    static const bool shown = [] {
        // Per-model default files would land beside the fuzzer; a folder that is not there
        // keeps the run from leaving any.
        files.defaultsPath = [](const std::string& name) { return "/nonexistent/" + name; };
        device.SerialNumber = 1;
        device.Model = "Q4200";
        form.SetupModel("Q4200P", 0);
        return true;
    }();
    (void)shown;
    prompts.shown.clear();
    // Both the five-character family check and the name-with-version check.
    const bool defaultsMode = size > 0 && (data[0] & 1);
    if (files.ReadConfigurationText(text, "Q4200", defaultsMode))
        rules.UpdateValues();
    files.ReadConfigurationText(text, "R212-P", !defaultsMode);
    (void)files.ConfigurationText("Q4200_000000", ";", defaultsMode);
    return 0;
}
