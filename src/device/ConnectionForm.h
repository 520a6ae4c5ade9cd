#pragma once

// The "Configure as" dialog as data: shown when a unit reports a model the tool does not
// accept, it lets the user name the model to configure the unit as. The identification
// waits until it is hidden again; the face (or a test) works it through the handlers.

#include "common/Device.h"
#include "editor/Form.h"
#include "host/Prompts.h"

#include <string>
#include <vector>

namespace vantrel::device {

// The models a unit the tool does not accept can be configured as.
const std::vector<std::string>& ConnectionChoices();

class TConnectionForm {
public:
    TConnectionForm(editor::Form& owner, Device& device, host::Prompts& prompts,
                    std::string message);

    std::string caption = "ConnectionForm";
    std::string lblMessage;
    std::string selectLabel = "Configure as:";
    std::string cbUnitSelectText = "<< select device type >>";
    std::vector<std::string> cbUnitSelectItems = ConnectionChoices();
    int cbUnitSelectIndex = -1;
    bool cbUnitSelectVisible = true;
    std::string btnConnectUnitAsCaption = "Connect";
    std::string btnCancelCaption = "Cancel";
    std::string btnRetryConnectCaption = "Retry";
    bool btnRetryConnectVisible = false; // the selection mode hides the detection parts
    bool sbDetectProgressVisible = false;
    std::string statusBarText;
    bool visible = true;

    // Set when "Connect" configured the unit as a model SetupModel knows.
    bool accepted = false;

    void SelectUnit(int index); // the user picks an item of cbUnitSelect
    void btnConnectUnitAsClick();
    void btnCancelClick();

private:
    editor::Form& owner_;
    Device& device_;
    host::Prompts& prompts_;
};

} // namespace vantrel::device
