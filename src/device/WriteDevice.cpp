// Write device: the editor's configuration to the unit, page by page, the unit's own
// communication settings last, the tool following them as they change.

#include "device/DeviceAccess.h"

#include "editor/Linearisation.h"
#include "modbus/ModbusCodec.h"

#include <cctype>
#include <string>
#include <vector>

namespace vantrel::device {

using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

namespace {

constexpr const char* kWritingStatus = " Status: writing values to the device...";
constexpr const char* kWriteOkStatus = " Status: values were written correctly to the device.";
constexpr const char* kWriteFailedStatus = " Status: values were not written correctly to the "
                                           "device. Please re-write the values.";
constexpr uint64_t kPlaceholder = 10000;
constexpr const char* kCheckingStatus = " Status: checking the values on the device...";
// The log's path (or why there is none) follows it.
constexpr const char* kSomeNotWritten =
    "Some values were not written correctly. Please check the WriteLog";
constexpr const char* kNotChecked = "not checked";
// A unit's clock read back this many seconds later than it was set, beyond the time the
// check took, still holds what was sent: the read is a transaction or two after the write.
constexpr int kClockSlackSeconds = 2;

int SecondsOfDay(uint64_t hhnnss) {
    return static_cast<int>(hhnnss / 10000 * 3600 + hhnnss / 100 % 100 * 60 + hhnnss % 100);
}

std::tm DateTm(uint64_t yymmdd) {
    std::tm tm{};
    tm.tm_year = static_cast<int>(2000 + yymmdd / 10000 - 1900);
    tm.tm_mon = static_cast<int>(yymmdd / 100 % 100) - 1;
    tm.tm_mday = static_cast<int>(yymmdd % 100);
    tm.tm_hour = 12;
    return tm;
}

uint64_t YyMMdd(const std::tm& tm) {
    return static_cast<uint64_t>((tm.tm_year + 1900) % 100 * 10000 + (tm.tm_mon + 1) * 100 +
                                 tm.tm_mday);
}

// Whether what was read back is what was sent. The unit's clock and calendar go on from
// what they were set to: a time up to the seconds the check took later, and the next day
// once midnight passed meanwhile, are what was sent.
bool Holds(const Parameter& row, uint64_t sent, uint64_t read, int secondsSince) {
    if (read == sent)
        return true;
    if (row.form == ValueForm::Hhnnss) {
        const int ahead = (SecondsOfDay(read) - SecondsOfDay(sent) + 86400) % 86400;
        return ahead <= secondsSince + kClockSlackSeconds;
    }
    if (row.form == ValueForm::YyMMdd) {
        std::tm next = DateTm(sent);
        next.tm_mday += 1;
        std::mktime(&next);
        return read == YyMMdd(next);
    }
    return false;
}

// The row of the map a control is written from, on the page of that step.
const Parameter& Row(const char* control, int step) {
    for (const Parameter& row : Parameters())
        if (row.step == step && std::string(row.control) == control)
            return row;
    static const Parameter none{};
    return none;
}

bool Shown(const editor::Form& form, const char* control) {
    return form.Has(control) && form[control].visible;
}

// The factor in millionths as the editor shows it for an entry: its label's d.dddddd with
// the separator taken out; the edit's own value when the label holds something else.
int64_t ShownFactor(const editor::Form& form, const editor::LinearisationRow& line) {
    const std::string& shown = form[line.factorLabel].text;
    if (shown.size() == 8 && std::isdigit(static_cast<unsigned char>(shown[0]))) {
        std::string digits = shown.substr(0, 1) + shown.substr(2);
        bool all = true;
        for (char c : digits)
            all = all && std::isdigit(static_cast<unsigned char>(c));
        if (all)
            return std::stoll(digits);
    }
    return editor::FactorValue(form[line.factorEdit].text);
}

std::string Upper(uint64_t limit) {
    return std::to_string(limit - 1);
}

} // namespace

// One transaction of the run, decided before anything is sent.
struct TDeviceAccess::WriteStep {
    enum class Kind { Control, Placeholder, Entry };
    Kind kind = Kind::Control;
    const Parameter* row = nullptr; // the map's row (Control, Entry: the table row)
    const char* label = "";         // the placeholder's label
    uint16_t reg = 0;
    uint8_t bytes = 0;
    int entry = 0;          // Entry: 0 ... 14
    bool highlight = false; // caption highlighted and focus moved while it is sent

    // Entry: of the frequency table, or of the percentage table.
    bool Frequencies() const { return std::string(row->page) == "LinearisationSheet"; }
    const editor::LinearisationRow& Line() const {
        const auto& rows = Frequencies() ? editor::FrequencyRows() : editor::PercentageRows();
        return rows[static_cast<size_t>(entry)];
    }
};

struct TDeviceAccess::WritePage {
    const char* page;
    std::vector<WriteStep> steps;
};

std::vector<TDeviceAccess::WritePage> TDeviceAccess::PlanWrite() const {
    using Kind = WriteStep::Kind;
    const editor::Form& form = form_;
    std::vector<WritePage> plan;
    auto control = [](int step, const char* name, bool highlight = false) {
        WriteStep s;
        s.row = &Row(name, step);
        s.reg = s.row->reg;
        s.bytes = s.row->bytes;
        s.highlight = highlight;
        return s;
    };
    auto placeholder = [](uint16_t reg, const char* label) {
        WriteStep s;
        s.kind = Kind::Placeholder;
        s.label = label;
        s.reg = reg;
        s.bytes = 3;
        return s;
    };
    auto entries = [](int step, const char* box, std::vector<WriteStep>& steps) {
        for (int entry = 0; entry < editor::kLinearisationRows; ++entry) {
            WriteStep s;
            s.kind = Kind::Entry;
            s.row = &Row(box, step);
            s.entry = entry;
            s.highlight = true;
            steps.push_back(s);
        }
    };
    auto shown = [&](const char* page) {
        const int index = form.PageIndex(page);
        return index >= 0 && form.Pages()[static_cast<size_t>(index)].visible;
    };

    WritePage leading{"", {}};
    if (shown("CommunicationSheet"))
        leading.steps.push_back(control(1, "CommDelayEdit"));
    if (shown("FlowmeterSheet"))
        leading.steps.push_back(control(2, "FlowmeterConversionGroup"));
    plan.push_back(leading);

    if (shown("TotalSheet")) {
        WritePage p{"TotalSheet", {control(3, "TotalUnitGroup"), control(3, "TotalDecimalsGroup")}};
        if (Shown(form, "TotalKFactorBox"))
            p.steps.push_back(placeholder(34, "Total - K-Factor"));
        if (Shown(form, "TotalKFactorDecimalsGroup"))
            p.steps.push_back(control(3, "TotalKFactorDecimalsGroup"));
        if (Shown(form, "TotalKFactorBox"))
            p.steps.push_back(control(3, "TotalKFactorEdit"));
        p.steps.push_back(control(3, "TotalMultiplyGroup"));
        plan.push_back(p);
    }
    if (shown("TotalASheet"))
        plan.push_back({"TotalASheet",
                        {control(4, "TotalAUnitGroup"), control(4, "TotalADecimalsGroup"),
                         placeholder(34, "Total - Span"), control(4, "TotalASpanDecimalsGroup"),
                         control(4, "TotalASpanEdit"), control(4, "TotalAMultiplyGroup")}});
    if (shown("FlowrateSheet")) {
        WritePage p{"FlowrateSheet",
                    {control(5, "FlowrateUnitGroup"), control(5, "FlowrateIntervalGroup"),
                     control(5, "FlowrateDecimalsGroup")}};
        if (Shown(form, "FlowrateKFactorBox"))
            p.steps.push_back(placeholder(51, "Flowrate - K-Factor"));
        if (Shown(form, "FlowrateKFactorDecimalsGroup"))
            p.steps.push_back(control(5, "FlowrateKFactorDecimalsGroup"));
        if (Shown(form, "FlowrateKFactorBox"))
            p.steps.push_back(control(5, "FlowrateKFactorEdit"));
        p.steps.push_back(control(5, "FlowratePulsesEdit"));
        p.steps.push_back(control(5, "FlowrateCutoffEdit"));
        plan.push_back(p);
    }
    if (shown("FlowrateASheet"))
        plan.push_back(
            {"FlowrateASheet",
             {control(6, "FlowrateAUnitGroup"), control(6, "FlowrateAIntervalGroup"),
              control(6, "FlowrateADecimalsGroup"), placeholder(51, "Flowrate - Span"),
              control(6, "FlowrateASpanDecimalsGroup"), control(6, "FlowrateASpanEdit")}});
    if (shown("DisplaySheet"))
        plan.push_back(
            {"DisplaySheet",
             {control(7, "DisplayFunctionGroup"), control(7, "PowermanagementLCDNewGroup"),
              control(7, "DisplayBrightnessGroup"), control(7, "DisplayBargraphGroup"),
              control(7, "DisplayBargraphEdit")}});
    if (shown("FlowmeterSheet")) {
        WritePage p{"FlowmeterSheet", {control(8, "FlowmeterSignalGroup")}};
        if (Shown(form, "FlowmeterUnitGroupBox"))
            p.steps.push_back(control(8, "FlowmeterUnitGroup"));
        if (Shown(form, "FlowmeterKFactorBox"))
            p.steps.push_back(placeholder(1046, "Flowmeter - K-Factor"));
        if (Shown(form, "FlowmeterKFactorDecimalsGroup"))
            p.steps.push_back(control(8, "FlowmeterKFactorDecimalsGroup"));
        if (Shown(form, "FlowmeterKFactorBox"))
            p.steps.push_back(control(8, "FlowmeterKFactorEdit"));
        plan.push_back(p);
    }
    if (shown("FlowmeterASheet"))
        plan.push_back({"FlowmeterASheet",
                        {control(9, "FlowmeterAFormulaGroup"), control(9, "FlowmeterAFilterEdit"),
                         control(9, "FlowmeterACutOffEdit")}});
    if (shown("LinearisationSheet")) {
        WritePage p{
            "LinearisationSheet",
            {control(10, "LinearisationEnableGroup"), control(10, "LinearisationDecimalsGroup")}};
        entries(10, "LinearisationEntriesBox", p.steps);
        plan.push_back(p);
    }
    if (shown("LinearisationASheet")) {
        WritePage p{"LinearisationASheet", {control(11, "LinearisationAEnableGroup")}};
        entries(11, "LinearizationABox", p.steps);
        plan.push_back(p);
    }
    if (shown("AnalogSheet"))
        plan.push_back({"AnalogSheet",
                        {control(12, "AnalogEnableGroup"), control(12, "AnalogMinEdit"),
                         control(12, "AnalogMaxEdit"), control(12, "AnalogCutoffEdit"),
                         control(12, "AnalogFilterEdit")}});
    if (shown("PulseSheet"))
        plan.push_back({"PulseSheet",
                        {control(13, "PulseWidthEdit"), control(13, "PulseDecimalsGroup"),
                         control(13, "PulseAmountEdit")}});
    if (shown("LogParamSheet")) {
        WritePage p{"LogParamSheet",
                    {control(15, "DataLogIntervalGroup"), control(15, "DataLogDailyGroup"),
                     control(15, "DataLogDaily1", true), control(15, "DataLogDaily2", true)}};
        if (form.TimeEdited)
            p.steps.push_back(control(15, "pickTime", true));
        p.steps.push_back(control(15, "pickDate", true));
        plan.push_back(p);
    }
    if (shown("OthersSheet")) {
        WritePage p{"OthersSheet", {}};
        if (!form["OthersPasswordEdit"].text.empty())
            p.steps.push_back(control(16, "OthersPasswordEdit", true));
        p.steps.push_back(control(16, "OthersKeylockGroup", true));
        p.steps.push_back(control(16, "OthersTagEdit", true));
        plan.push_back(p);
    }
    if (shown("CommunicationSheet")) {
        WritePage p{"CommunicationSheet",
                    {control(14, "CommunicSpeedGroup", true),
                     control(14, "CommunicAddressEdit", true),
                     control(14, "CommunicProtocolGroup", true)}};
        if (form["CommunicDatabitsGroup"].enabled)
            p.steps.push_back(control(14, "CommunicDatabitsGroup", true));
        p.steps.push_back(control(14, "CommunicParityGroup", true));
        plan.push_back(p);
    }
    return plan;
}

// The value a step sends, or the reason it cannot be sent. The unit time is left to the
// moment of sending (the PC's clock).
bool TDeviceAccess::StepValue(const WriteStep& step, int64_t& value, std::string& problem) const {
    using Kind = WriteStep::Kind;
    if (step.kind == Kind::Placeholder) {
        value = static_cast<int64_t>(kPlaceholder);
        return true;
    }
    if (step.kind == Kind::Entry) {
        const bool frequencies = step.Frequencies();
        const editor::LinearisationRow& line = step.Line();
        const auto input = ControlValue(form_, line.inputEdit, ValueForm::Number);
        if (!input || !FitsBytes(*input, 3)) {
            problem = "The " + std::string(frequencies ? "frequency" : "percentage") +
                      " of linearisation entry " + std::string(1, line.id) + " (\"" +
                      form_[line.inputEdit].text + "\") is not a whole number from 0 to " +
                      Upper(kFactorShift) + ".";
            return false;
        }
        value = static_cast<int64_t>(LinearisationWindow(
            static_cast<uint64_t>(ShownFactor(form_, line)), static_cast<uint64_t>(*input)));
        return true;
    }
    const Parameter& row = *step.row;
    const editor::Control& c = form_[row.control];
    const auto v = ControlValue(form_, row.control, row.form);
    const uint64_t limit = uint64_t{1} << (8 * row.bytes);
    if (!v) {
        if (c.kind == editor::ControlKind::Edit)
            problem = std::string(row.writeLabel) + ": \"" + c.text +
                      "\" is not a whole number from 0 to " + Upper(limit) + ".";
        else
            problem = std::string(row.writeLabel) + ": nothing is selected.";
        return false;
    }
    value = *v;
    if (row.condition == Condition::ZeroSentAsOne && value == 0)
        value = 1;
    if (!FitsBytes(value, row.bytes)) {
        problem = std::string(row.writeLabel) + ": \"" + c.text +
                  "\" is not a whole number from 0 to " + Upper(limit) + ".";
        return false;
    }
    return true;
}

std::vector<std::string> TDeviceAccess::WriteDifferences() const {
    std::vector<std::string> lines;
    if (!unitValues_ || form_.ExpectedSerialNumber != form_.device.SerialNumber)
        return lines;
    const auto differences = editor::Differences(*unitValues_, editor::TakeSnapshot(form_));
    for (const editor::Difference& d : differences.value_or(std::vector<editor::Difference>{}))
        lines.push_back(editor::DifferenceLine(d, "unit", "form"));
    return lines;
}

void TDeviceAccess::UploadButtonClick() {
    if (form_.ShowPopups) {
        const char* const question = "This will change the configuration in the device.\r\n\r\n"
                                     "Do you wish to continue?";
        PromptAnswer answer = PromptAnswer::Ok;
        // With the unit's values known, the question shows what the write changes.
        if (unitValues_ && form_.ExpectedSerialNumber == form_.device.SerialNumber) {
            std::vector<std::string> lines = WriteDifferences();
            if (lines.empty())
                lines.push_back(editor::kNoValuesDiffer);
            answer = prompts_.AskWithList(question, lines, "Write to device", PromptIcon::Question,
                                          PromptButtons::OkCancel);
        } else {
            answer = prompts_.Ask(question, "Write to device", PromptIcon::Question,
                                  PromptButtons::OkCancel);
        }
        if (answer != PromptAnswer::Ok)
            return;
    }
    WriteDevice();
}

// After the unit took one of its communication settings, the tool changes its own to match.
void TDeviceAccess::FollowUnit(const Parameter& row, int64_t value) {
    const std::string control = row.control;
    if (control == "CommunicAddressEdit") {
        if (setBusAddress && value >= 1 && value <= 255)
            setBusAddress(static_cast<uint8_t>(value));
        return;
    }
    if (!portSetup)
        return;
    const int position = static_cast<int>(value);
    if (control == "CommunicSpeedGroup")
        portSetup->SelectSpeedIndex(position == 4 ? 3 : position);
    else if (control == "CommunicProtocolGroup") {
        if (position == 1)
            portSetup->SelectProtocol(modbus::kFramingRtu);
        else if (position == 2)
            portSetup->SelectProtocol(modbus::kFramingAscii);
    } else if (control == "CommunicDatabitsGroup")
        portSetup->SelectDataBitsIndex(position);
    else if (control == "CommunicParityGroup")
        portSetup->SelectParityIndex(position);
}

// false: the user aborted.
bool TDeviceAccess::SendStep(const WriteStep& step, const std::string& logFileName) {
    using Kind = WriteStep::Kind;
    std::string caption;
    if (step.kind == Kind::Control && step.highlight)
        caption = CaptionControl(form_, step.row->control);
    if (!caption.empty()) {
        form_.SetFocus(step.row->control);
        form_.SetHighlighted(caption, true);
    }
    int64_t value = 0;
    std::string problem;
    int result = modbus::kTransactionDone;
    if (step.kind == Kind::Control && std::string(step.row->control) == "pickTime" &&
        !form_["pickTime"].enabled) {
        // PC time: what the clock says now, the picker showing what was sent.
        const std::tm tm = now();
        value = tm.tm_hour * 10000 + tm.tm_min * 100 + tm.tm_sec;
        form_.SetTime("pickTime", {tm.tm_hour, tm.tm_min, tm.tm_sec});
    } else {
        StepValue(step, value, problem); // checked before the run started
    }

    if (step.kind == Kind::Entry) {
        const editor::LinearisationRow& line = step.Line();
        if (form_.ensureVisible)
            form_.ensureVisible(line.inputEdit);
        result = WriteLinearisationEntry(step.entry, static_cast<uint64_t>(value));
        const std::string label = "Linearization - Edit" + std::string(1, line.id);
        if (result != modbus::kTransactionDone)
            return !ReportTransferError(logFileName, label, step.entry);
        sent_.push_back({step.row, step.entry, static_cast<uint64_t>(value), label, now()});
        return true;
    }

    result = WriteValue(step.reg, step.bytes, static_cast<uint64_t>(value));
    if (!caption.empty())
        form_.SetHighlighted(caption, false);
    bool go = true;
    // The placeholder is overwritten by the real K-factor a few steps on: what the unit holds
    // afterwards is that one, which is checked.
    if (result == modbus::kTransactionDone && step.kind == Kind::Control)
        sent_.push_back({step.row, -1, static_cast<uint64_t>(value), step.row->writeLabel, now()});
    if (result != modbus::kTransactionDone)
        go = !ReportTransferError(
            logFileName, step.kind == Kind::Placeholder ? step.label : step.row->writeLabel,
            static_cast<int32_t>(value));
    if (go && step.kind == Kind::Control && std::string(step.row->page) == "CommunicationSheet" &&
        step.row->step == 14)
        FollowUnit(*step.row, value);
    return go;
}

void TDeviceAccess::WriteDevice() {
    form_.Updating = true;
    bool success = false;
    const int startPage = form_.ActivePage();
    const std::string logFileName = LogFileName("WriteLog");
    const auto finish = [this] {
        form_.Updating = false;
        form_.TransferErrorLogged = false;
        form_.SetProgress(0, 0);
    };

    if (form_.ExpectedSerialNumber == -1) {
        prompts_.Inform("No device found.", "Write Device", PromptIcon::Error);
        finish();
        return;
    }

    // Nothing goes to the unit unless every value fits the register it goes to: a field the
    // unit cannot hold is named, and the configuration on the unit stays as it was.
    const std::vector<WritePage> plan = PlanWrite();
    int total = 0;
    for (const WritePage& page : plan) {
        for (const WriteStep& step : page.steps) {
            ++total;
            int64_t value = 0;
            std::string problem;
            if (StepValue(step, value, problem))
                continue;
            if (page.page[0] != '\0')
                SelectPage(page.page);
            else if (step.row)
                SelectPage(step.row->page);
            const char* focus =
                step.kind == WriteStep::Kind::Entry ? "" : (step.row ? step.row->control : "");
            if (focus[0] != '\0' && form_.Has(focus))
                form_.SetFocus(focus);
            prompts_.Inform(problem + "\r\nNothing was written to the device.", "Write Device",
                            PromptIcon::Error);
            finish();
            return;
        }
    }

    SetWindowEnabled(false);
    const SameDevice same = CheckSameDevice(form_.ExpectedSerialNumber, "Write Device");
    if (same != SameDevice::Same) {
        if (same == SameDevice::Different)
            SelectPage("ConfigurationSheet");
        SetWindowEnabled(true);
        finish();
        return;
    }
    form_.SetStatus(1, kWritingStatus);
    form_.Pages()[static_cast<size_t>(form_.ActivePage())].highlighted = false;
    sent_.clear();
    mismatches_.clear();
    // What the unit holds is only known again once it has been checked.
    unitValues_.reset();

    int done = 0;
    form_.SetProgress(0, total);
    bool go = true;
    for (const WritePage& page : plan) {
        if (page.page[0] != '\0') {
            ActivateWithoutChange(page.page);
            const int index = form_.PageIndex(page.page);
            form_.Pages()[static_cast<size_t>(index)].highlighted = true;
            if (form_.pagesChanged)
                form_.pagesChanged();
        }
        std::string entriesBox;
        for (const WriteStep& step : page.steps) {
            if (step.kind == WriteStep::Kind::Entry && entriesBox.empty()) {
                entriesBox = step.row->control;
                if (form_.Has(entriesBox)) {
                    form_.SetFocus(entriesBox);
                    form_.SetHighlighted(entriesBox, true);
                }
            }
            go = SendStep(step, logFileName);
            form_.SetProgress(++done, total);
            if (!go)
                break;
        }
        if (!entriesBox.empty() && form_.Has(entriesBox))
            form_.SetHighlighted(entriesBox, false);
        if (!go)
            break;
    }

    if (go)
        success = EndWithOperatorValues();
    std::string failureText;
    if (success && checkAfterWriting) {
        success = CheckWritten(logFileName, failureText);
        if (success && !form_.TransferErrorLogged)
            unitValues_ = editor::TakeSnapshot(form_);
    }

    ReportRunEnd(success,
                 {kWriteOkStatus, kWriteFailedStatus, "Written all values correctly.",
                  kSomeNotWritten, "Write Device", "WriteLog"},
                 failureText);
    CloseRun(startPage);
    finish();
}

bool TDeviceAccess::CheckWritten(const std::string& logFileName, std::string& failureText) {
    const auto log = [&](const std::string& label, const std::string& error, uint64_t value) {
        if (!form_.TransferErrorLogged) {
            form_.TransferErrorLogged = true;
            WriteLogHeader(logFileName);
        }
        WriteLogLine(logFileName, label, error, std::to_string(value));
    };
    form_.Updating = true;
    form_.SetStatus(1, kCheckingStatus);
    const int total = static_cast<int>(sent_.size());
    form_.SetProgress(0, total);
    bool aborted = false;
    for (size_t i = 0; i < sent_.size(); ++i) {
        const SentValue& s = sent_[i];
        if (aborted) {
            log(s.label, kNotChecked, s.value);
            continue;
        }
        uint64_t read = 0;
        const int result = s.entry >= 0 ? ReadLinearisationEntry(s.entry, read)
                                        : ReadValue(s.row->reg, s.row->bytes, read);
        form_.SetProgress(static_cast<int>(i) + 1, total);
        if (result != modbus::kTransactionDone) {
            // The failure is logged under the parameter's name; with the run stopped, so is
            // every parameter that is left unchecked.
            aborted =
                ReportTransferError(logFileName, s.label, static_cast<int32_t>(s.value), true);
            if (aborted)
                log(s.label, kNotChecked, s.value);
            continue;
        }
        std::tm sentAt = s.at, readAt = now();
        const double since = std::difftime(std::mktime(&readAt), std::mktime(&sentAt));
        if (Holds(*s.row, s.value, read, since > 0 ? static_cast<int>(since) : 0))
            continue;
        mismatches_.push_back(s.label + ": sent " + std::to_string(s.value) + ", read " +
                              std::to_string(read));
        log(s.label, "the unit holds " + std::to_string(read), s.value);
    }
    form_.Updating = false;
    if (aborted)
        return false;
    if (mismatches_.empty())
        return true;
    failureText.clear();
    for (const std::string& line : mismatches_)
        failureText += line + "\r\n";
    failureText += "\r\n" + CheckLogText(kSomeNotWritten, "WriteLog");
    return false;
}

} // namespace vantrel::device
