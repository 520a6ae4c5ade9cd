#include "editor/EditingRules.h"

#include "editor/Linearisation.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

namespace vantrel::editor {

const char* const kModifiedStatus = " Status: values need to be read from or written to the device";
const char* const kConversionQuestion =
    "Changing the Flowmeter - Unit type setting will reset the Total and Flowrate units to "
    "their default values. Do you wish to proceed?";
const char* const kConversionCaption = "Reset to default";

namespace {

// ---------------------------------------------------------------- what is bound to what

// Edits that take digits and backspace only; every change marks the values as changed.
const char* const kNumberEdits[] = {
    "TotalKFactorEdit",     "TotalASpanEdit",       "FlowrateKFactorEdit", "FlowratePulsesEdit",
    "FlowrateCutoffEdit",   "FlowrateASpanEdit",    "DisplayBargraphEdit", "FlowmeterKFactorEdit",
    "FlowmeterAFilterEdit", "FlowmeterACutOffEdit", "AnalogMinEdit",       "AnalogMaxEdit",
    "AnalogCutoffEdit",     "AnalogTuneMinEdit",    "AnalogTuneMaxEdit",   "AnalogFilterEdit",
    "PulseAmountEdit",      "PulseWidthEdit",       "OthersTagEdit",
};

const char* const kNotZeroOnExit[] = {"FlowrateCutoffEdit", "FlowmeterAFilterEdit",
                                      "PulseAmountEdit"};
const char* const kAtMost255OnExit[] = {"FlowratePulsesEdit", "PulseWidthEdit"};

// Each K-factor or span edit and the decimals group that sets its smallest value.
struct KFactorRow {
    const char* edit;
    const char* decimals;
};
constexpr KFactorRow kKFactors[] = {
    {"TotalKFactorEdit", "TotalKFactorDecimalsGroup"},
    {"TotalASpanEdit", "TotalASpanDecimalsGroup"},
    {"FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup"},
    {"FlowrateASpanEdit", "FlowrateASpanDecimalsGroup"},
    {"FlowmeterKFactorEdit", "FlowmeterKFactorDecimalsGroup"},
};

// Groups that share the decimals groups' handler but guard no edit: clicking or leaving them
// marks the values as changed.
const char* const kMarkedOnClickAndExit[] = {"CommunicSpeedGroup", "FlowmeterACalibHiGroup"};

const char* const kMarkedOnClick[] = {
    "TotalDecimalsGroup",         "TotalMultiplyGroup",       "TotalADecimalsGroup",
    "TotalAMultiplyGroup",        "FlowrateDecimalsGroup",    "FlowrateIntervalGroup",
    "FlowrateADecimalsGroup",     "DisplayFunctionGroup",     "DisplayBrightnessGroup",
    "PowermanagementLCDNewGroup", "DisplayBargraphGroup",     "FlowmeterSignalGroup",
    "FlowmeterAFormulaGroup",     "LinearisationEnableGroup", "LinearisationDecimalsGroup",
    "LinearisationAEnableGroup",  "AnalogEnableGroup",        "PulseDecimalsGroup",
    "CommunicProtocolGroup",      "CommunicParityGroup",      "CommunicDatabitsGroup",
    "OthersKeylockGroup",
};

// The unit-button boxes stand for the hidden group of the same name without "Box".
const char* const kUnitBoxes[] = {"TotalUnitGroupBox", "TotalAUnitGroupBox", "FlowrateUnitGroupBox",
                                  "FlowrateAUnitGroupBox", "FlowmeterUnitGroupBox"};
const char* const kTotalUnitGroups[] = {"TotalUnitGroup", "TotalAUnitGroup"};
const char* const kFlowrateUnitGroups[] = {"FlowrateUnitGroup", "FlowrateAUnitGroup"};
const char* const kIntervalGroups[] = {"FlowrateIntervalGroup", "FlowrateAIntervalGroup"};

// The conversion applies to the pulse variant's boxes only: the analog variant has no
// Flowmeter page of its own units.
const char* const kConvertedBoxes[] = {"FlowmeterUnitGroupBox", "TotalUnitGroupBox",
                                       "FlowrateUnitGroupBox"};
// Shown in the automatic modes, where the Flowmeter page's single K-factor applies ...
const char* const kAutoOnly[] = {"FlowmeterUnitGroupBox", "FlowmeterKFactorDecimalsGroup",
                                 "FlowmeterKFactorBox"};
// ... and in "Hand", where the Total and Flow Rate pages carry their own.
const char* const kHandOnly[] = {"TotalKFactorDecimalsGroup", "TotalKFactorBox",
                                 "FlowrateKFactorDecimalsGroup", "FlowrateKFactorBox"};

constexpr int kTagClassStep = 100;

std::string BoxGroup(const std::string& box) {
    return box.substr(0, box.size() - 3);
}

bool IsNoUnit(std::string_view caption) {
    const auto first = caption.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return false;
    caption = caption.substr(first, caption.find_last_not_of(" \t") - first + 1);
    constexpr std::string_view kNoUnit = "no unit";
    return caption.size() == kNoUnit.size() &&
           std::equal(caption.begin(), caption.end(), kNoUnit.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

// Clears Updating however the recomputation ends.
class UpdatingScope {
public:
    explicit UpdatingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~UpdatingScope() { flag_ = false; }
    UpdatingScope(const UpdatingScope&) = delete;
    UpdatingScope& operator=(const UpdatingScope&) = delete;

private:
    bool& flag_;
};

} // namespace

// ---------------------------------------------------------------- number texts

std::optional<int64_t> IntegerValue(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

int64_t ValueOr(std::string_view text, int64_t fallback) {
    return IntegerValue(text).value_or(fallback);
}

std::string ScaledDigits(int64_t value, int decimals, std::string_view separator) {
    const bool negative = value < 0;
    std::string digits = std::to_string(negative ? -value : value);
    if (decimals > 0) {
        const auto count = static_cast<size_t>(decimals);
        if (digits.size() <= count)
            digits.insert(0, count + 1 - digits.size(), '0');
        digits.insert(digits.size() - count, separator);
    }
    return negative ? "-" + digits : digits;
}

std::string FormatScaled(std::string_view text, int decimals, std::string_view separator) {
    return ScaledDigits(ValueOr(text, 1), decimals, separator);
}

// ---------------------------------------------------------------- binding

EditingRules::EditingRules(Form& form, host::Prompts& prompts, std::string separator)
    : decimalSeparator(std::move(separator)), form_(form), prompts_(prompts) {
    Bind();
    confirmedConversion_ = ConversionModeShown();
    UpdateValues();
}

void EditingRules::Bind() {
    Form& f = form_;
    std::vector<std::string> numberEdits(std::begin(kNumberEdits), std::end(kNumberEdits));
    std::vector<std::string> rowEdits;
    for (const auto* rows : {&FrequencyRows(), &PercentageRows()})
        for (const LinearisationRow& row : *rows) {
            rowEdits.push_back(row.inputEdit);
            rowEdits.push_back(row.factorEdit);
        }
    numberEdits.insert(numberEdits.end(), rowEdits.begin(), rowEdits.end());

    for (const std::string& edit : numberEdits) {
        f.OnKey(edit, &EditingRules::CheckNumber);
        f.OnChange(edit, [this] { UpdateValuesModified(); });
    }
    rowEdits.emplace_back("OthersTagEdit");
    for (const std::string& edit : rowEdits)
        f.OnExit(edit, [this, edit] { CheckEmpty(edit); });
    for (const LinearisationRow& row : PercentageRows()) {
        const std::string edit = row.inputEdit;
        f.OnClick(edit, [this, edit] { ClearField(edit); });
        // Typed into after the click: what the user leaves there is theirs.
        f.OnChange(edit, [this, edit] {
            if (!form_.Updating && clearedField_ == edit)
                clearedField_.clear();
        });
    }
    for (const char* edit : kNotZeroOnExit)
        f.OnExit(edit, [this, edit] { CheckEditZero(edit); });
    for (const char* edit : kAtMost255OnExit)
        f.OnExit(edit, [this, edit] { CheckEditZero255(edit); });
    f.OnChange("CommunicAddressEdit", [this] { CheckEditZero247("CommunicAddressEdit"); });
    f.OnChange("CommDelayEdit", [this] { CheckEdit15("CommDelayEdit"); });

    for (const KFactorRow& row : kKFactors) {
        const std::string edit = row.edit, group = row.decimals;
        f.OnExit(edit, [this, edit] { CheckKFactor(edit); });
        f.OnClick(group, [this, group] { KFactorDecimalsGroupExit(group); });
        f.OnExit(group, [this, group] { KFactorDecimalsGroupExit(group); });
    }
    for (const char* group : kMarkedOnClickAndExit) {
        f.OnClick(group, [this, group] { KFactorDecimalsGroupExit(group); });
        f.OnExit(group, [this, group] { KFactorDecimalsGroupExit(group); });
    }
    // Change handlers run before click handlers, so the interval's labels are in place
    // before FlowrateIntervalGroup's recomputation.
    for (const char* group : kIntervalGroups)
        f.OnChange(group, [this, group] { FlowrateIntGroupClick(group); });
    for (const char* group : kMarkedOnClick)
        f.OnClick(group, [this] { UpdateValuesModified(); });

    for (const char* box : kUnitBoxes)
        f.OnClick(box, [this, box] { UnitButtonChanged(box); });
    for (const char* group : kTotalUnitGroups)
        f.OnChange(group, [this, group] { TotalUnitGroupClick(group); });
    for (const char* group : kFlowrateUnitGroups)
        f.OnChange(group, [this, group] { FlowrateUnitGroupClick(group); });
    f.OnChange("FlowmeterUnitGroup", [this] { FlowmeterUnitGroupClick(); });
    f.OnChange("FlowmeterConversionGroup", [this] { FlowmeterConversionGroupExit(); });

    f.OnClick("LinearisationFactorGroup", [this] { LinearisationFactorGroupClick(); });
    f.OnReselect("LinearisationFactorGroup", [this] { LinearisationFactorGroupClick(); });

    f.hooks.updateUnitTexts = [this] { UpdateUnitTexts(); };
}

int EditingRules::Index(const std::string& group) const {
    return form_[group].itemIndex;
}

const std::string& EditingRules::Text(const std::string& edit) const {
    return form_[edit].text;
}

// ---------------------------------------------------------------- keys and corrections

bool EditingRules::CheckNumber(char key) {
    return (key >= '0' && key <= '9') || key == '\b';
}

void EditingRules::ClearField(const std::string& edit) {
    if (Text(edit) != "0")
        return;
    // Emptied for typing only: until the user types, the field still stands for the 0 it
    // held, so nothing is marked as changed.
    QuietlySet(edit, "");
    clearedField_ = edit;
}

void EditingRules::CheckEmpty(const std::string& edit) {
    if (Text(edit).empty() && clearedField_ == edit) {
        // Clicked into and left without typing: the 0 it held comes back, nothing changed.
        QuietlySet(edit, "0");
        clearedField_.clear();
        return;
    }
    if (Text(edit).empty())
        form_.SetText(edit, "0");
    UpdateValues();
}

void EditingRules::QuietlySet(const std::string& edit, const std::string& text) {
    const bool updating = form_.Updating;
    form_.Updating = true;
    form_.SetText(edit, text);
    form_.Updating = updating;
}

bool EditingRules::FromUnitOrFile() const {
    return form_.Updating || form_.BulkLoading;
}

void EditingRules::CheckEditZero(const std::string& edit) {
    // Below 1, not only 0: a negative value from a file is no count either.
    if (ValueOr(Text(edit), 0) < 1)
        form_.SetText(edit, "1");
    UpdateValues();
}

void EditingRules::CheckEditZero255(const std::string& edit) {
    if (ValueOr(Text(edit), 0) > 255) {
        form_.SetText(edit, "255");
        UpdateValues();
    } else {
        CheckEditZero(edit);
    }
}

void EditingRules::CheckEditZero247(const std::string& edit) {
    // Corrected while the user types; the address a unit or a file holds shows as it is.
    if (FromUnitOrFile())
        return;
    if (ValueOr(Text(edit), 0) > 247) {
        form_.SetText(edit, "247");
        UpdateValues();
    } else {
        CheckEditZero(edit);
    }
}

void EditingRules::CheckEdit15(const std::string& edit) {
    if (FromUnitOrFile())
        return;
    if (ValueOr(Text(edit), 0) < 15)
        form_.SetText(edit, "15");
    UpdateValues();
}

void EditingRules::CheckKFactor(const std::string& edit) {
    for (const KFactorRow& row : kKFactors) {
        if (edit != row.edit)
            continue;
        // The unit shows the value with this many decimals; below these minimums the
        // smallest digits it can show are lost.
        const int decimals = Index(row.decimals);
        const int64_t minimum = decimals == 6 ? 100 : decimals == 5 ? 10 : 1;
        if (ValueOr(Text(edit), 0) < minimum)
            form_.SetText(edit, std::to_string(minimum));
        break;
    }
    UpdateValues();
}

void EditingRules::KFactorDecimalsGroupExit(const std::string& group) {
    MarkModified();
    for (const KFactorRow& row : kKFactors)
        if (group == row.decimals) {
            CheckKFactor(row.edit);
            return;
        }
    UpdateValues();
}

void EditingRules::MarkModified() {
    if (!form_.Updating && !form_.OfflineMode)
        form_.SetStatus(1, kModifiedStatus);
}

void EditingRules::UpdateValuesModified() {
    MarkModified();
    UpdateValues();
}

// ---------------------------------------------------------------- units

void EditingRules::UnitButtonChanged(const std::string& box) {
    const Control& c = form_[box];
    if (c.itemIndex < 0 || c.itemIndex >= static_cast<int>(c.tags.size()))
        return; // a button was cleared, none chosen
    form_.SetItemIndex(BoxGroup(box), c.tags[static_cast<size_t>(c.itemIndex)] % kTagClassStep);
    UpdateValuesModified();
}

void EditingRules::CheckUnitButton(const std::string& box, int index) {
    const Control& c = form_[box];
    int button = -1;
    for (size_t i = 0; i < c.tags.size() && button < 0; ++i)
        if (c.tags[i] % kTagClassStep == index)
            button = static_cast<int>(i);
    // A unit without a button (the Flowmeter page has no "No unit") shows no button rather
    // than leaving the previous unit's button checked.
    form_.SetItemIndex(box, button);
}

void EditingRules::TotalUnitGroupClick(const std::string& group) {
    lastTotalGroup_ = group;
    CheckUnitButton(group + "Box", Index(group));
    ShowUnitLabels();
}

void EditingRules::FlowrateUnitGroupClick(const std::string& group) {
    lastFlowrateGroup_ = group;
    CheckUnitButton(group + "Box", Index(group));
    ShowUnitLabels();
}

void EditingRules::FlowrateIntGroupClick(const std::string&) {
    ShowUnitLabels();
}

void EditingRules::FlowmeterUnitGroupClick() {
    CheckUnitButton("FlowmeterUnitGroupBox", Index("FlowmeterUnitGroup"));
    UpdateValuesModified();
}

void EditingRules::ApplyUnitClass(const std::string& box, int mode) {
    const std::vector<int> tags = form_[box].tags;
    bool lostUnit = false;
    for (size_t i = 0; i < tags.size(); ++i) {
        const int unitClass = tags[i] / kTagClassStep % kTagClassStep;
        const bool allowed = mode == 0 || unitClass == mode;
        const int button = static_cast<int>(i);
        form_.SetItemEnabled(box, button, allowed);
        if (!allowed && form_[box].itemIndex == button) {
            form_.SetItemIndex(box, -1);
            lostUnit = true;
        }
    }
    if (!lostUnit)
        return;
    for (size_t i = 0; i < tags.size(); ++i)
        if (tags[i] / kTagClassStep == kTagClassStep + mode) {
            if (form_.ItemEnabled(box, static_cast<int>(i)))
                form_.SetItemIndex(box, static_cast<int>(i));
            return;
        }
}

int EditingRules::ConversionModeShown() const {
    const int mode = Index("FlowmeterConversionGroup");
    return mode >= 0 && mode <= 2 ? mode : 0;
}

void EditingRules::ApplyConversion(int mode) {
    ApplyUnitClass("FlowmeterUnitGroupBox", mode);
    confirmedConversion_ = mode;
    ApplyUnitClass("TotalUnitGroupBox", mode);
    ApplyUnitClass("FlowrateUnitGroupBox", mode);
}

void EditingRules::ShowConversionVisibility(int mode) {
    for (const char* name : kAutoOnly)
        form_.SetVisible(name, mode != 0);
    for (const char* name : kHandOnly)
        form_.SetVisible(name, mode == 0);
}

void EditingRules::FlowmeterConversionGroupExit() {
    if (revertingConversion_)
        return;
    const int mode = ConversionModeShown();
    // A file load or a device read brings the unit's own mode: it holds, and its unit
    // classes apply, without asking the user about a change they did not make.
    const bool apply =
        form_.BulkLoading || !form_.ShowPopups || mode == confirmedConversion_ ||
        prompts_.Ask(kConversionQuestion, kConversionCaption, host::PromptIcon::Warning,
                     host::PromptButtons::YesNo) == host::PromptAnswer::Yes;
    if (apply) {
        ApplyConversion(mode);
        // The mode is a parameter of its own, whether or not a unit had to be reset.
        MarkModified();
    } else {
        revertingConversion_ = true;
        form_.SetItemIndex("FlowmeterConversionGroup", confirmedConversion_);
        revertingConversion_ = false;
    }
    ShowConversionVisibility(ConversionModeShown());
}

// ---------------------------------------------------------------- unit texts and labels

EditingRules::PageSet EditingRules::PageSetInUse() const {
    if (form_.ActiveVariant == "A" || form_.ActiveVariant == "U")
        return PageSet::A;
    if (form_.ActiveVariant == "P")
        return PageSet::P;
    return PageSet::None;
}

std::string EditingRules::TotalUnitGroupInUse() const {
    switch (PageSetInUse()) {
    case PageSet::A:
        return "TotalAUnitGroup";
    case PageSet::P:
        return "TotalUnitGroup";
    case PageSet::None:
        break;
    }
    return lastTotalGroup_;
}

std::string EditingRules::FlowrateUnitGroupInUse() const {
    switch (PageSetInUse()) {
    case PageSet::A:
        return "FlowrateAUnitGroup";
    case PageSet::P:
        return "FlowrateUnitGroup";
    case PageSet::None:
        break;
    }
    return lastFlowrateGroup_;
}

std::string EditingRules::IntervalGroupInUse() const {
    return PageSetInUse() == PageSet::P ? "FlowrateIntervalGroup" : "FlowrateAIntervalGroup";
}

namespace {

std::string SelectedCaption(const Control& group) {
    const int i = group.itemIndex;
    return i >= 0 && i < static_cast<int>(group.items.size()) ? group.items[static_cast<size_t>(i)]
                                                              : std::string();
}

std::string UnitText(const Control& group) {
    std::string caption = SelectedCaption(group);
    return IsNoUnit(caption) ? std::string() : caption;
}

} // namespace

void EditingRules::ShowUnitLabels() {
    Form& f = form_;
    // The common pages show the units and the interval of the page set in use; each variant
    // page shows its own groups, so a hidden page never lends its unit to the shown ones.
    f.TotalUnitText = UnitText(f[TotalUnitGroupInUse()]);
    f.FlowrateUnitText = UnitText(f[FlowrateUnitGroupInUse()]);
    f.IntervalText = SelectedCaption(f[IntervalGroupInUse()]);
    const std::string flowrate = f.FlowrateUnitText + " " + f.IntervalText;

    f.SetText("TotalUnitLabel", f.TotalUnitText);
    f.SetText("AccTotalUnitLabel", f.TotalUnitText);
    f.SetText("PulseAmountUnitLabel", f.TotalUnitText + " / pulse");
    f.SetText("FlowrateUnitLabel", f.FlowrateUnitText);
    f.SetText("FlowIntLabel", f.IntervalText);
    f.SetText("AnalogMinUnitLabel", flowrate);
    f.SetText("AnalogMaxUnitLabel", flowrate);
    f.SetText("DisplayBargraphUnitLabel", flowrate);

    f.SetText("TotalKFactorUnitLabel", "pulses / " + UnitText(f["TotalUnitGroup"]));
    f.SetText("TotalASpanUnitLabel", UnitText(f["TotalAUnitGroup"]) + " / sec");
    f.SetText("FlowrateKFactorUnitLabel", "pulses / " + UnitText(f["FlowrateUnitGroup"]));
    f.SetText("FlowrateASpanUnitLabel", UnitText(f["FlowrateAUnitGroup"]) + " " +
                                            SelectedCaption(f["FlowrateAIntervalGroup"]));
    f.SetText("FlowmeterKFactorUnitLabel", "pulses / " + SelectedCaption(f["FlowmeterUnitGroup"]));
}

void EditingRules::UpdateUnitTexts() {
    switch (PageSetInUse()) {
    case PageSet::A:
        CheckUnitButton("TotalAUnitGroupBox", Index("TotalAUnitGroup"));
        break;
    case PageSet::P:
        CheckUnitButton("TotalUnitGroupBox", Index("TotalUnitGroup"));
        break;
    case PageSet::None:
        break;
    }
    ShowUnitLabels();
}

std::string EditingRules::FormatScaled(std::string_view text, int decimals) const {
    return editor::FormatScaled(text, decimals, decimalSeparator);
}

namespace {
int DecimalsOf(const Control& group) {
    return std::max(0, group.itemIndex);
}
} // namespace

int EditingRules::RuntimeFlowrateDecimals() const {
    switch (PageSetInUse()) {
    case PageSet::A:
        return DecimalsOf(form_["FlowrateADecimalsGroup"]);
    case PageSet::P:
        return DecimalsOf(form_["FlowrateDecimalsGroup"]);
    case PageSet::None:
        break;
    }
    return 0;
}

int EditingRules::RuntimeTotalDecimals() const {
    switch (PageSetInUse()) {
    case PageSet::A:
        return DecimalsOf(form_["TotalADecimalsGroup"]);
    case PageSet::P:
        return DecimalsOf(form_["TotalDecimalsGroup"]);
    case PageSet::None:
        break;
    }
    return 0;
}

void EditingRules::FormatFrequencyRow(int row) {
    const LinearisationRow& r = FrequencyRows().at(static_cast<size_t>(row));
    const int decimals = DecimalsOf(form_["LinearisationDecimalsGroup"]);
    form_.SetText(r.inputLabel, FormatFrequency(Text(r.inputEdit), decimals, decimalSeparator));
    // Every calculation-factor choice shows the factor as an M-factor: "M-Factor" is the
    // only choice the group offers.
    form_.SetText(r.factorLabel, FormatFactor(Text(r.factorEdit), decimalSeparator));
}

void EditingRules::FormatPercentageRow(int row) {
    const LinearisationRow& r = PercentageRows().at(static_cast<size_t>(row));
    form_.SetText(r.inputLabel, FormatPercentage(Text(r.inputEdit), decimalSeparator));
    form_.SetText(r.factorLabel, FormatFactor(Text(r.factorEdit), decimalSeparator));
}

void EditingRules::UpdateValues() {
    Form& f = form_;
    if (f.Updating)
        return;
    const UpdatingScope updating(f.Updating);
    auto scaled = [&](const char* edit, const char* decimalsGroup) {
        return FormatScaled(Text(edit), DecimalsOf(f[decimalsGroup]));
    };

    const int flowrateDecimals = RuntimeFlowrateDecimals();
    const int totalDecimals = RuntimeTotalDecimals();

    ShowUnitLabels();

    f.SetText("TotalKFactorValueLabel", scaled("TotalKFactorEdit", "TotalKFactorDecimalsGroup"));
    f.SetText("TotalASpanValueLabel", scaled("TotalASpanEdit", "TotalASpanDecimalsGroup"));
    f.SetText("FlowrateKFactorValueLabel",
              scaled("FlowrateKFactorEdit", "FlowrateKFactorDecimalsGroup"));
    f.SetText("FlowrateASpanValueLabel", scaled("FlowrateASpanEdit", "FlowrateASpanDecimalsGroup"));
    f.SetText("FlowratePulsesValueLabel", Text("FlowratePulsesEdit"));
    f.SetText("FlowrateCutoffValueLabel", FormatScaled(Text("FlowrateCutoffEdit"), 1));

    f.SetText("FlowmeterKFactorValueLabel",
              scaled("FlowmeterKFactorEdit", "FlowmeterKFactorDecimalsGroup"));

    const int mode = ConversionModeShown();
    for (const char* box : kConvertedBoxes)
        ApplyUnitClass(box, mode);
    ShowConversionVisibility(mode);

    f.SetText("FlowmeterACutoffValueLabel", FormatScaled(Text("FlowmeterACutOffEdit"), 1));

    for (int row = 0; row < kLinearisationRows; ++row)
        FormatFrequencyRow(row);
    for (int row = 0; row < kLinearisationRows; ++row)
        FormatPercentageRow(row);

    // A unit or a file holding 0 shows its 0 (Write device sends it as 1 all the same).
    if (Text("AnalogFilterEdit") == "0" && !f.BulkLoading)
        f.SetText("AnalogFilterEdit", "1");
    // The analog range is a flow rate of the unit in hand: its decimals are those of the
    // page set in use, not always the pulse variant's.
    const char* analogDecimals =
        PageSetInUse() == PageSet::A ? "FlowrateADecimalsGroup" : "FlowrateDecimalsGroup";
    f.SetText("AnalogMinValueLabel", scaled("AnalogMinEdit", analogDecimals));
    f.SetText("AnalogMaxValueLabel", scaled("AnalogMaxEdit", analogDecimals));
    f.SetText("AnalogCutoffValueLabel", FormatScaled(Text("AnalogCutoffEdit"), 1));
    f.SetText("AnalogTuneMinValueLabel", Text("AnalogTuneMinEdit"));
    f.SetText("AnalogTuneMaxValueLabel", Text("AnalogTuneMaxEdit"));
    f.SetText("AnalogFilterValueLabel", Text("AnalogFilterEdit"));

    f.SetText("PulseWidthValueLabel", FormatScaled(Text("PulseWidthEdit"), 3));
    f.SetText("PulseAmountValueLabel", scaled("PulseAmountEdit", "PulseDecimalsGroup"));

    // RTU frames carry eight data bits; the choice only exists for ASCII (and "Off").
    if (Index("CommunicProtocolGroup") == 1) {
        f.SetItemIndex("CommunicDatabitsGroup", 0);
        f.SetEnabled("CommunicDatabitsGroup", false);
    } else {
        f.SetEnabled("CommunicDatabitsGroup", true);
    }

    const int64_t tag = std::max<int64_t>(0, ValueOr(Text("OthersTagEdit"), 0));
    f.SetText("OthersTagLabel", PaddedDigits(tag % 10000000, 7));

    // Operator values read before the edit no longer belong to these settings.
    f.SetText("FlowrateValueLabel", FormatScaled("0", flowrateDecimals));
    f.SetText("TotalValueLabel", FormatScaled("0", totalDecimals));
    f.SetText("AccTotalValueLabel", f["TotalValueLabel"].text);

    f.SetText("Label7", FactorColumnHeading(Index("LinearisationFactorGroup")));
}

// ---------------------------------------------------------------- linearisation

void EditingRules::LinearisationFactorGroupClick() {
    Form& f = form_;
    if (f.Updating)
        return;
    MarkModified();
    {
        const UpdatingScope updating(f.Updating);
        for (const LinearisationRow& row : FrequencyRows())
            f.SetText(row.factorEdit, NormalisedFactor(Text(row.factorEdit)));
    }
    UpdateValues();
}

} // namespace vantrel::editor
