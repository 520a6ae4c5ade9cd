#include "editor/ControlTable.h"

namespace vantrel::editor {

const char* const kFindUnitButtonCaption = "Find unit...";

const char* const kRowSuffixes[15] = {"1", "2", "3", "4", "5", "6", "7", "8",
                                      "9", "A", "B", "C", "D", "E", "F"};

std::vector<Page> MainWindowPages() {
    return {
        {"ConfigurationSheet", "HOME"},     {"RuntimeSheet", "Runtime Values"},
        {"TotalSheet", "Total"},            {"TotalASheet", "Total"},
        {"FlowrateSheet", "Flow Rate"},     {"FlowrateASheet", "Flow Rate"},
        {"DisplaySheet", "Display"},        {"FlowmeterSheet", "Flowmeter"},
        {"FlowmeterASheet", "Flowmeter"},   {"LinearisationSheet", "Linearization"},
        {"LinearisationASheet", "Linearization"}, {"AnalogSheet", "Analog Output"},
        {"PulseSheet", "Pulse Output"},     {"CommunicationSheet", "Modbus"},
        {"LogParamSheet", "Datalogging"},   {"OthersSheet", "Others"},
    };
}

namespace {

using Items = std::vector<std::string>;

const Items kUnitsA = {"No unit", "L",  "m³",  "US GAL", "I GAL", "CF",
                       "Oil BBL", "kg", "ton", "lb",     "US ton"};
const std::vector<int> kUnitTagsA = {0, 10101, 102, 103, 104, 105, 106, 10207, 208, 209, 210};
const Items kUnitsB = {"No unit", "mL", "L",   "m³", "US GAL", "I GAL", "CF",
                       "Oil BBL", "nL", "nm³", "SCF", "mg",    "g",     "kg",
                       "ton",     "lb", "US ton", "rev", "P"};
// The flow-rate buttons show "kg" before "g"; the tag's index still names the item.
const Items kUnitButtonsB = {"No unit", "mL",  "L",  "m³", "US GAL", "I GAL", "CF",
                             "Oil BBL", "nL",  "nm³", "SCF", "mg",   "kg",    "g",
                             "ton",     "lb",  "US ton", "rev", "P"};
const std::vector<int> kUnitTagsB = {0,   101, 10102, 103, 104, 105,   106, 107, 108, 109,
                                     110, 211, 10213, 212, 214, 215, 216, 17,  18};
const Items kUnitsC = {"No unit", "L",  "m³",  "US GAL", "I GAL", "CF",
                       "oil bbl", "kg", "ton", "lb",     "US ton"};
const Items kUnitButtonsC = {"L", "m³", "US GAL", "I GAL", "CF", "Oil BBL", "kg", "ton", "lb",
                             "US ton"};
const std::vector<int> kUnitTagsC = {10101, 102, 103, 104, 105, 106, 10207, 208, 209, 210};
const Items kDecimals = {"0", "0.1", "0.02", "0.003"};
const Items kKFactorDecimals = {"0", "1", "2", "3", "4", "5", "6"};
const Items kMultiply = {"x 1", "x 10", "x 100", "x 1000"};
const Items kInterval = {"/ Sec", "/ Min", "/ Hr", "/ Day"};
const Items kEnabled = {"Disabled", "Enabled"};

Items WithFt3(Items items) {
    for (auto& item : items)
        if (item == "CF")
            item = "ft³";
    return items;
}

class Builder {
public:
    std::vector<Control> controls;
    std::string page;

    Control& Add(ControlKind kind, const std::string& name) {
        Control c;
        c.kind = kind;
        c.name = name;
        c.page = page;
        controls.push_back(std::move(c));
        return controls.back();
    }
    Control& Radio(const std::string& name, const std::string& caption, const Items& items,
                   int index = 0) {
        Control& c = Add(ControlKind::RadioGroup, name);
        c.caption = caption;
        c.items = items;
        c.itemIndex = index;
        return c;
    }
    // A hidden unit group and the visible group box of its buttons.
    void Units(const std::string& name, const std::string& caption, const Items& items,
               const Items& buttons, const std::vector<int>& tags) {
        Control& hidden = Radio(name, caption, items);
        hidden.visible = false;
        Control& box = Add(ControlKind::UnitButtons, name + "Box");
        box.caption = caption;
        box.items = buttons;
        box.tags = tags;
        box.itemIndex = -1;
    }
    Control& Number(const std::string& name, const std::string& caption, size_t maxLength) {
        Control& c = Add(ControlKind::Edit, name);
        c.caption = caption;
        c.maxLength = maxLength;
        c.keyFilter = KeyFilter::Digits;
        return c;
    }
    Control& Text(const std::string& name, const std::string& caption, size_t maxLength = 0) {
        Control& c = Add(ControlKind::Edit, name);
        c.caption = caption;
        c.maxLength = maxLength;
        return c;
    }
    Control& Label(const std::string& name, const std::string& text = "") {
        Control& c = Add(ControlKind::Label, name);
        c.text = text;
        return c;
    }
    Control& Button(const std::string& name, const std::string& caption) {
        Control& c = Add(ControlKind::Button, name);
        c.caption = caption;
        return c;
    }
    Control& Box(const std::string& name, const std::string& caption) {
        Control& c = Add(ControlKind::GroupBox, name);
        c.caption = caption;
        return c;
    }
    void Navigation(bool previous, bool next) {
        if (next)
            Button(page + "Next", "Next page");
        if (previous)
            Button(page + "Prev", "Previous page");
    }
};

} // namespace

std::vector<Control> MainWindowControls() {
    Builder b;

    // The button row above the pages.
    b.Button("LoadDefaultButton", "Default Config.");
    b.Button("LoadConfigButton", "Load Config.");
    b.Button("SaveConfigButtonNew", "Save Config.");
    b.Button("UploadButton", "Write to device");
    b.Button("DownloadButton", "Read device");
    b.Button("CompareUnitButton", "Compare with unit");
    b.Button("CompareFileButton", "Compare with file...");
    b.Button("SaveConfigButton", "Save Config.").visible = false;

    b.page = "ConfigurationSheet";
    b.Label("ModelLabel");
    b.Box("OfflineGroup", " Offline Configuration ");
    Control& models = b.Add(ControlKind::ComboBox, "ModelBox");
    models.items = {"Q4200"};
    models.group = "OfflineGroup";
    Control& revision = b.Add(ControlKind::ComboBox, "RevisionBox");
    revision.items = {"Any revision"};
    revision.itemIndex = 0;
    revision.enabled = false;
    revision.group = "OfflineGroup";
    b.Button("OfflineButton", "Enter offline configuration").group = "OfflineGroup";
    b.Button("FactoryConfigButton", "Factory Config.").group = "OfflineGroup";
    b.Button("SaveDefaultButton", "Save Default").group = "OfflineGroup";
    b.Button("ModbusButton", "Port Setup");
    b.Button("ConnectButton", "Connect device");
    b.Button("FindUnitButton", kFindUnitButtonCaption);
    b.Button("LogdataButton", "Read log data");
    b.Button("LogFileButton", "View log file...");
    b.Button("RestartButton", "Restart device");
    b.Button("FactoryResetButton", "Factory reset");

    b.page = "RuntimeSheet";
    b.Label("FlowrateCaptionLabel", "Flow rate =");
    b.Label("FlowrateValueLabel", "0");
    b.Label("FlowrateUnitLabel");
    b.Label("FlowIntLabel");
    b.Label("TotalCaptionLabel", "Total =");
    b.Label("TotalValueLabel", "0");
    b.Label("TotalUnitLabel");
    b.Label("AccTotalCaptionLabel", "Acc. Total =");
    b.Label("AccTotalValueLabel", "0");
    b.Label("AccTotalUnitLabel");
    b.Label("BatteryCaptionLabel", "Battery status =");
    b.Label("lblBatteryStatus", "0 - Not determined");
    b.Label("ErrorCaptionLabel", "Error status =");
    b.Label("lblErrorStatus", "0 - Not determined");
    b.Button("RefeshButton", "Refresh");
    b.Button("ClearTotalButton", "Clear Total");
    b.Navigation(true, true);

    b.page = "TotalSheet";
    b.Units("TotalUnitGroup", " Unit ", kUnitsA, kUnitsA, kUnitTagsA);
    b.Radio("TotalDecimalsGroup", " Decimals ", kDecimals);
    b.Box("TotalKFactorBox", " K-Factor ");
    b.Number("TotalKFactorEdit", " K-Factor ", 7).group = "TotalKFactorBox";
    b.Label("TotalKFactorValueLabel").group = "TotalKFactorBox";
    b.Label("TotalKFactorUnitLabel").group = "TotalKFactorBox";
    b.Radio("TotalKFactorDecimalsGroup", " Decimals K-Factor ", kKFactorDecimals).group =
        "TotalKFactorBox";
    b.Radio("TotalMultiplyGroup", " Factor X (multiply factor) ", kMultiply);
    b.Navigation(false, true);

    b.page = "TotalASheet";
    b.Units("TotalAUnitGroup", " Unit ", WithFt3(kUnitsA), WithFt3(kUnitsA), kUnitTagsA);
    b.Radio("TotalADecimalsGroup", " Decimals ", kDecimals);
    b.Number("TotalASpanEdit", " Span ", 7);
    b.Label("TotalASpanValueLabel");
    b.Label("TotalASpanUnitLabel");
    b.Radio("TotalASpanDecimalsGroup", " Span Decimals ", kKFactorDecimals);
    b.Radio("TotalAMultiplyGroup", " Factor X (multiply factor) ", kMultiply);
    b.Navigation(false, true);

    b.page = "FlowrateSheet";
    b.Units("FlowrateUnitGroup", " Unit ", kUnitsB, kUnitButtonsB, kUnitTagsB);
    b.Radio("FlowrateIntervalGroup", " Interval ", kInterval);
    b.Radio("FlowrateDecimalsGroup", " Decimals ", kDecimals);
    b.Box("FlowrateKFactorBox", " K-Factor ");
    b.Number("FlowrateKFactorEdit", " K-Factor ", 7).group = "FlowrateKFactorBox";
    b.Label("FlowrateKFactorValueLabel").group = "FlowrateKFactorBox";
    b.Label("FlowrateKFactorUnitLabel").group = "FlowrateKFactorBox";
    b.Radio("FlowrateKFactorDecimalsGroup", " Decimals K-Factor ", kKFactorDecimals).group =
        "FlowrateKFactorBox";
    b.Number("FlowratePulsesEdit", " Calculation ", 3);
    b.Label("FlowratePulsesValueLabel");
    b.Number("FlowrateCutoffEdit", " Cut-Off ", 4);
    b.Label("FlowrateCutoffValueLabel");
    b.Label("FlowrateCutoffUnitLabel", "s");
    b.Navigation(true, true);

    b.page = "FlowrateASheet";
    b.Units("FlowrateAUnitGroup", " Unit ", WithFt3(kUnitsB), WithFt3(kUnitButtonsB), kUnitTagsB);
    b.Radio("FlowrateAIntervalGroup", " Interval ", kInterval);
    b.Radio("FlowrateADecimalsGroup", " Decimals ", kDecimals);
    b.Number("FlowrateASpanEdit", " Span ", 7);
    b.Label("FlowrateASpanValueLabel");
    b.Label("FlowrateASpanUnitLabel");
    b.Radio("FlowrateASpanDecimalsGroup", " Span Decimals ", kKFactorDecimals);
    b.Navigation(true, true);

    b.page = "DisplaySheet";
    b.Radio("DisplayFunctionGroup", " Function ", {"Total", "Rate"});
    b.Radio("DisplayBrightnessGroup", " Backlight Brightness ",
            {"Off", "20%", "40%", "60%", "80%", "100%"});
    b.Radio("PowermanagementLCDNewGroup", " LCD Update Time",
            {"Fast", "1 second", "3 seconds", "15 seconds", "30 seconds", "Off"});
    b.Radio("DisplayBargraphGroup", " Bargraph ", kEnabled);
    b.Number("DisplayBargraphEdit", " Bargraph Flowrate Span ", 7);
    b.Label("DisplayBargraphUnitLabel");
    b.Navigation(true, true);

    b.page = "FlowmeterSheet";
    b.Radio("FlowmeterSignalGroup", " Signal ",
            {"NPN", "NPN Low Pass", "Reed", "Reed Low Pass", "PNP", "PNP Low Pass", "Namur",
             "Coil High", "Coil Low", "8.2V dc", "24V dc"});
    b.Radio("FlowmeterConversionGroup", " Units (automatic unit conversion) ",
            {"Hand", "Auto volume", "Auto mass"}, 1);
    b.Box("FlowmeterKFactorBox", " K-Factor ");
    b.Units("FlowmeterUnitGroup", " Unit ", kUnitsC, kUnitButtonsC, kUnitTagsC);
    b.controls[b.controls.size() - 2].group = "FlowmeterKFactorBox";
    b.controls.back().group = "FlowmeterKFactorBox";
    b.Number("FlowmeterKFactorEdit", " K-Factor ", 7).group = "FlowmeterKFactorBox";
    b.Label("FlowmeterKFactorValueLabel").group = "FlowmeterKFactorBox";
    b.Label("FlowmeterKFactorUnitLabel").group = "FlowmeterKFactorBox";
    b.Radio("FlowmeterKFactorDecimalsGroup", " Decimals K-Factor ", kKFactorDecimals).group =
        "FlowmeterKFactorBox";
    b.Navigation(true, true);

    b.page = "FlowmeterASheet";
    b.Radio("FlowmeterAFormulaGroup", " Formula ", {"Interpolate", "Square root"});
    b.Radio("FlowmeterACalibLoGroup", " Calib - Lo ", {"CALIB SET", "Default"}).enabled = false;
    b.Radio("FlowmeterACalibHiGroup", " Calib - Hi ", {"CALIB SET", "Default"}).enabled = false;
    b.Number("FlowmeterAFilterEdit", " Filter ", 2);
    b.Number("FlowmeterACutOffEdit", " Cut-off ", 3);
    b.Label("FlowmeterACutoffValueLabel");
    b.Label("FlowmeterACutoffUnitLabel", "%");
    b.Navigation(true, true);

    b.page = "LinearisationSheet";
    b.Radio("LinearisationEnableGroup", " Linearization ", kEnabled);
    b.Radio("LinearisationDecimalsGroup", " Decimals Frequency ", kDecimals);
    b.Radio("LinearisationFactorGroup", " Calculation Factor ", {"M-Factor"});
    b.Label("Label7", "Calculation Factor");
    for (const char* row : kRowSuffixes) {
        b.Number(std::string("FrequencyEdit") + row, "", 5).text = "0";
        b.Label(std::string("FreqLabel") + row, "not used");
        b.Number(std::string("FactorEdit") + row, "", 7).text = "1";
        b.Label(std::string("MFactorLabel") + row, "1000000");
    }
    b.Navigation(true, true);

    b.page = "LinearisationASheet";
    b.Radio("LinearisationAEnableGroup", " Linearization ", kEnabled);
    for (const char* row : kRowSuffixes) {
        b.Number(std::string("PercEdit") + row, "", 4).text = "0";
        b.Label(std::string("PercLabel") + row, "not used");
        b.Number(std::string("FactorAEdit") + row, "", 7).text = "1";
        b.Label(std::string("MFactorALabel") + row, "1000000");
    }
    b.Navigation(true, true);

    b.page = "AnalogSheet";
    b.Radio("AnalogEnableGroup", " Analog Output ", kEnabled);
    b.Number("AnalogMinEdit", " Flowrate Min ", 7);
    b.Label("AnalogMinValueLabel");
    b.Label("AnalogMinUnitLabel");
    b.Number("AnalogMaxEdit", " Flowrate Max ", 7);
    b.Label("AnalogMaxValueLabel");
    b.Label("AnalogMaxUnitLabel");
    b.Number("AnalogCutoffEdit", " Cut-off ", 2);
    b.Label("AnalogCutoffValueLabel");
    b.Label("AnalogCutoffUnitLabel", "%");
    Control& tuneMin = b.Number("AnalogTuneMinEdit", " Tune Min ", 4);
    tuneMin.readOnly = true;
    tuneMin.text = "0";
    b.Label("AnalogTuneMinValueLabel");
    b.Button("CalTuneMin", "Set calibration value");
    Control& tuneMax = b.Number("AnalogTuneMaxEdit", " Tune Max ", 4);
    tuneMax.readOnly = true;
    tuneMax.text = "9999";
    b.Label("AnalogTuneMaxValueLabel");
    b.Button("CalTuneMax", "Set calibration value");
    b.Number("AnalogFilterEdit", " Filter ", 2);
    b.Label("AnalogFilterValueLabel");
    b.Navigation(true, true);

    b.page = "PulseSheet";
    b.Number("PulseAmountEdit", " Amount ", 7);
    b.Label("PulseAmountValueLabel");
    b.Label("PulseAmountUnitLabel");
    b.Number("PulseWidthEdit", " Pulse Width ", 4);
    b.Label("PulseWidthValueLabel");
    b.Label("PulseWidthUnitLabel", "s");
    b.Radio("PulseDecimalsGroup", " Decimals Pulse ", kDecimals);
    b.Navigation(true, true);

    b.page = "CommunicationSheet";
    b.Radio("CommunicProtocolGroup", " Mode ", {"Off", "RTU", "ASCII"}, 1);
    b.Radio("CommunicSpeedGroup", " Speed (baudrate) ",
            {"1200", "2400", "4800", "9600", "9600 HP", "19200", "38400"}, 3);
    b.Text("CommunicAddressEdit", " Address ");
    b.Radio("CommunicParityGroup", " Parity ", {"None", "Even", "Odd"});
    b.Radio("CommunicDatabitsGroup", " Databits ", {"8 Bits", "7 Bits"});
    b.Text("CommDelayEdit", " Communication Delay ");
    b.Label("CommDelayUnitLabel", "ms");
    b.Button("CommunicButton", "Communication Setup").visible = false;
    b.Button("Button13", "Change bus-address").visible = false;
    b.Navigation(true, true);

    b.page = "LogParamSheet";
    b.Radio("DataLogIntervalGroup", " Log Interval ",
            {"Disable", "1 min", "5 min", "10 min", "15 min", "30 min", "1 hr", "2 hr", "4 hr",
             "6 hr", "8 hr"});
    b.Radio("DataLogDailyGroup", " Daily Log ", {"Disable", "Single", "Dual"});
    b.Add(ControlKind::TimePicker, "DataLogDaily1").caption = " Daily 1 (HH:MM) ";
    b.Add(ControlKind::TimePicker, "DataLogDaily2").caption = " Daily 2 (HH:MM) ";
    Control& time = b.Add(ControlKind::TimePicker, "pickTime");
    time.caption = " Time (HH:MM:SS)";
    time.enabled = false;
    b.Button("btnUpdateTime", "Reset time");
    b.Add(ControlKind::DatePicker, "pickDate").caption = " Date (YYYY-MM-DD) ";
    b.Button("btnUpdateDate", "Use current date");
    b.Navigation(true, true);

    b.page = "OthersSheet";
    b.Text("OthersModelEdit", " Model ").readOnly = true;
    b.Text("OthersVersionEdit", " Software Version ").readOnly = true;
    b.Text("OthersSerialEdit", " Serial Number ").readOnly = true;
    b.Text("OthersPasswordEdit", " Password ", 4);
    b.Number("OthersTagEdit", " Tagnumber ", 7);
    b.Label("OthersTagLabel");
    b.Radio("OthersKeylockGroup", " Keylock ", kEnabled);
    b.Navigation(true, false);
    b.Button("btnLastPage", "Finish").enabled = false;

    return std::move(b.controls);
}

} // namespace vantrel::editor
