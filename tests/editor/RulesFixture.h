#pragma once

// A headless main window with its editing rules and scripted prompts, and the user's ways of
// touching it: typing key by key through the key filter, leaving an edit, clicking a choice.

#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel::editor::test {

inline const char* const kUntouched = " Status: untouched";

class RulesTest : public testing::Test {
protected:
    Device device;
    Form form{device, "/nonexistent/vantrel-settings.ini"};
    host::ScriptedPrompts prompts;
    EditingRules rules{form, prompts};

    // A unit of the pulse variant (or another letter) on screen, the status panel marked so
    // that a test sees whether a rule wrote it.
    void Show(const char* model, char variant = 0) {
        device.Variant = variant;
        form.SetupModel(model, variant);
        form.SetStatus(1, kUntouched);
    }

    // Keys typed at the end of the edit's text; the filter may drop some. Returns the keys
    // that arrived.
    std::string Type(const std::string& edit, const std::string& keys) {
        std::string arrived;
        for (char key : keys) {
            if (!form.KeyPress(edit, key))
                continue;
            arrived += key;
            std::string text = form[edit].text;
            if (key == '\b') {
                if (!text.empty())
                    text.pop_back();
            } else {
                text += key;
            }
            form.UserEdit(edit, text);
        }
        return arrived;
    }

    // The user works in the control, leaves its value as it stands, and moves on.
    void Leave(const std::string& control) {
        form.SetFocus(control);
        form.UserTouch(control);
        form.SetFocus("ConnectButton");
    }

    const std::string& Text(const std::string& control) const { return form[control].text; }
    int Index(const std::string& control) const { return form[control].itemIndex; }
    const std::string& Status() const { return form.statusPanels[1]; }
};

} // namespace vantrel::editor::test
