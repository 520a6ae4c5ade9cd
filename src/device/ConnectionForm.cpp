#include "device/ConnectionForm.h"

#include <algorithm>

namespace vantrel::device {

const std::vector<std::string>& ConnectionChoices() {
    static const std::vector<std::string> models = {"R210-A", "R210-P", "R210-P-HX",
                                                    "R212-A", "R212-P", "R212-P-HX"};
    return models;
}

TConnectionForm::TConnectionForm(editor::Form& owner, Device& device, host::Prompts& prompts,
                                 std::string message)
    : lblMessage(std::move(message)), owner_(owner), device_(device), prompts_(prompts) {}

void TConnectionForm::SelectUnit(int index) {
    if (index >= -1 && index < static_cast<int>(cbUnitSelectItems.size()))
        cbUnitSelectIndex = index;
}

void TConnectionForm::btnConnectUnitAsClick() {
    if (cbUnitSelectIndex < 0) {
        prompts_.Ask("You have not selected a device for configuration.", "Please select device",
                     host::PromptIcon::None, host::PromptButtons::Ok);
        return;
    }
    const std::string model = cbUnitSelectItems[static_cast<size_t>(cbUnitSelectIndex)];
    const auto& models = owner_["ModelBox"].items;
    const auto found = std::find(models.begin(), models.end(), model);
    owner_.SetItemIndex("ModelBox",
                        found == models.end() ? -1 : static_cast<int>(found - models.begin()));
    device_.Model = model;
    // Every item is "R21x-" and a letter: the sixth character is the variant.
    device_.Variant = model.size() > 5 ? model[5] : 0;
    if (owner_.SetupModel(device_.Model, device_.Variant))
        accepted = true;
    visible = false;
}

void TConnectionForm::btnCancelClick() {
    visible = false;
}

} // namespace vantrel::device
