#pragma once

// The rules that keep the main window's parameter controls sensible and readable while the
// user edits and while files or the unit are read into them: key filters, the corrections on
// leaving or changing an edit, the K-factor minimum, the unit buttons and the automatic unit
// conversion, the derived labels and the status text. Every rule works on the Form and hangs
// on its events; nothing here touches a widget or the unit.

#include "editor/Form.h"
#include "host/Prompts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::editor {

// Number texts as the edits hold them.

// An optional sign and decimal digits, nothing else; values beyond 64 bits saturate so that a
// long run of digits still counts as "very large". Nothing when the text is not an integer.
std::optional<int64_t> IntegerValue(std::string_view text);
// The text's value, or `fallback` when it is not an integer.
int64_t ValueOr(std::string_view text, int64_t fallback);

// `value` in decimal with `decimals` digits after `separator` ("0" digits put in front as
// needed): 5 with 3 decimals is 0.005.
std::string ScaledDigits(int64_t value, int decimals, std::string_view separator);

// The "Value =" form of an edit's text: a text that is not an integer counts as 1.
std::string FormatScaled(std::string_view text, int decimals, std::string_view separator);

// Status panel 1 once a value changed while a unit or a prepared configuration waits for it.
extern const char* const kModifiedStatus;
// The conversion question and its caption.
extern const char* const kConversionQuestion;
extern const char* const kConversionCaption;

class EditingRules {
public:
    // Binds every handler to its controls and brings the derived labels in line with what the
    // controls hold now. The handlers stay bound: the rules must live as long as the Form runs
    // events, and the prompts as long as the rules.
    EditingRules(Form& form, host::Prompts& prompts, std::string decimalSeparator = ".");
    EditingRules(const EditingRules&) = delete;
    EditingRules& operator=(const EditingRules&) = delete;

    // The user's decimal separator for every label that shows a point (the Qt face passes
    // its locale's). A change shows from the next UpdateValues.
    std::string decimalSeparator;

    // Key filter of the number edits: digits and backspace pass.
    static bool CheckNumber(char key);

    // A percentage edit clicked while it holds "0" empties, so a new value can be typed.
    void ClearField(const std::string& edit);

    // The corrections; each ends with UpdateValues.
    void CheckEmpty(const std::string& edit);       // empty -> "0"
    void CheckEditZero(const std::string& edit);    // below 1 -> "1"
    void CheckEditZero255(const std::string& edit); // above 255 -> "255", below 1 -> "1"
    void CheckEditZero247(const std::string& edit); // above 247 -> "247", below 1 -> "1"
    void CheckEdit15(const std::string& edit);      // below 15 -> "15"

    // The smallest K-factor or span for its decimals: 100 at 6 decimals, 10 at 5, else 1.
    // Each edit is held to its own decimals group.
    void CheckKFactor(const std::string& edit);
    // A K-factor or span decimals group clicked or left (also the speed and Calib-Hi groups,
    // which only mark the values as changed).
    void KFactorDecimalsGroupExit(const std::string& group);

    // The status text rule: not while Updating, not for an offline configuration.
    void MarkModified();
    void UpdateValuesModified();

    // Unit buttons and the hidden unit groups they stand for.
    void UnitButtonChanged(const std::string& box); // a button of the box clicked
    void CheckUnitButton(const std::string& box, int index);
    void TotalUnitGroupClick(const std::string& group);
    void FlowrateUnitGroupClick(const std::string& group);
    void FlowrateIntGroupClick(const std::string& group);
    void FlowmeterUnitGroupClick();

    // Automatic unit conversion: mode 0 allows every unit class, 1 volume, 2 mass.
    void ApplyUnitClass(const std::string& box, int mode);
    void FlowmeterConversionGroupExit();
    // The mode last applied, to which a refused change returns. The device read records the
    // mode it read here.
    int ConfirmedConversionMode() const { return confirmedConversion_; }
    void SetConfirmedConversionMode(int mode) { confirmedConversion_ = mode; }

    // Unit texts and labels after a model change.
    void UpdateUnitTexts();
    // The full recomputation of every derived label.
    void UpdateValues();

    // The " Calculation Factor " group: factor edits normalised to what their labels show.
    void LinearisationFactorGroupClick();

    std::string FormatScaled(std::string_view text, int decimals) const;
    void FormatFrequencyRow(int row);  // row 0..14
    void FormatPercentageRow(int row); // row 0..14

    // Decimals of the Runtime page's values, by the page set in use.
    int RuntimeFlowrateDecimals() const;
    int RuntimeTotalDecimals() const;

private:
    enum class PageSet { None, P, A };
    PageSet PageSetInUse() const;
    std::string TotalUnitGroupInUse() const;
    std::string FlowrateUnitGroupInUse() const;
    std::string IntervalGroupInUse() const;
    void ShowUnitLabels();
    void ShowConversionVisibility(int mode);
    void ApplyConversion(int mode);
    int ConversionModeShown() const;
    int Index(const std::string& group) const;
    const std::string& Text(const std::string& edit) const;
    void Bind();
    // Sets an edit's text without marking the values as changed or recomputing the labels.
    void QuietlySet(const std::string& edit, const std::string& text);
    // The controls are being filled from the unit or a file.
    bool FromUnitOrFile() const;

    Form& form_;
    host::Prompts& prompts_;
    int confirmedConversion_ = 0;
    bool revertingConversion_ = false;
    std::string clearedField_; // the percentage edit a click emptied, until typed into
    // With no page set shown, the unit texts follow the group that changed last.
    std::string lastTotalGroup_ = "TotalUnitGroup";
    std::string lastFlowrateGroup_ = "FlowrateUnitGroup";
};

} // namespace vantrel::editor
