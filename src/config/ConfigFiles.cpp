#include "config/ConfigFiles.h"

#include "config/SaveExportForm.h"

#include "common/AppPaths.h"
#include "common/Device.h"
#include "common/FileUtil.h"
#include "common/IniFile.h"
#include "editor/ControlTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <span>
#include <sys/stat.h>
#include <vector>

namespace vantrel::config {

const char* const kAppTitle = "Vantrel";
const char* const kLoadedConfiguration = "Loaded configuration.";
const char* const kFileNotValid = "Selected file is not valid for this model.";
const char* const kSavedConfiguration = "Saved configuration.";
const char* const kUnableToSave = "Unable to save configuration.";
const char* const kLoadDefaultQuestion =
    "Load the default configuration for this model?\r\nYour current configuration will be lost.";
const char* const kDefaultCaption = "Default configuration";
const char* const kLoadedDefault = "Loaded default configuration for this model.";
const char* const kUnableToLoadDefault = "Unable to load default configuration for this model.";
const char* const kSaveDefaultQuestion =
    "Save current (offline) configuration as default configuration for this model?\r\nThis "
    "configuration will be loaded after (offline) model selection and restored when you press "
    "the \"Default Config.\" button.";
const char* const kSavedDefault = "Saved new default configuration for this model.";
const char* const kUnableToSaveDefault = "Unable to save default configuration for this model.";
const char* const kNoOfflineDevice = "You have not selected a device for offline configuration.";
const char* const kNoOfflineDeviceCaption = "Please select device";
const char* const kConfigurationFilter = "Configuration files (*.cvc)|*.cvc|Any file (*.*)|*.*";
const char* const kOutOfRangeIntro =
    "Some values in the file were out of range and were changed to the nearest choice:";
const char* const kSavedAsUtf16 = "saved as UTF-16: save it as plain text";

namespace {

const char* const kOpenFilter = "Configuration (*.cvc)|*.cvc|All files (*.*)|*.*";
const char* const kOpenTitle = "Load Unit Values from file...";
const char* const kSaveTitle = "Save Unit Values to file...";
const char* const kDefaultsSuffix = "_dft.ini";
const char* const kEol = "\r\n";
const char* const kUnableToLoad = "Unable to load ";
const char* const kTooLarge = "is too large to be a configuration file";

// What a common editor's "Unicode" save looks like: a UTF-16 byte order mark, or ASCII text
// with a zero byte beside every character.
bool LooksLikeUtf16(const std::string& text) {
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        return true;
    const size_t n = std::min<size_t>(text.size() & ~size_t{1}, 16);
    if (n < 4)
        return false;
    bool evenZero = true, oddZero = true;
    for (size_t i = 0; i < n; i += 2) {
        evenZero = evenZero && text[i] == '\0' && text[i + 1] != '\0';
        oddZero = oddZero && text[i] != '\0' && text[i + 1] == '\0';
    }
    return evenZero || oddZero;
}

// Values of the built-in default configuration, by control. A value starting with "$" is
// taken from the unit record or the clock when the defaults are applied.
struct DefaultRow {
    const char* control;
    const char* value;
};

const DefaultRow kPSet[] = {
    {"TotalUnitGroup", "6"},
    {"TotalDecimalsGroup", "0"},
    {"TotalKFactorDecimalsGroup", "0"},
    {"TotalMultiplyGroup", "0"},
    {"TotalKFactorEdit", "1"},
    {"FlowrateUnitGroup", "7"},
    {"FlowrateIntervalGroup", "3"},
    {"FlowrateDecimalsGroup", "0"},
    {"FlowrateKFactorDecimalsGroup", "0"},
    {"FlowrateKFactorEdit", "1"},
    {"FlowratePulsesEdit", "10"},
    {"FlowrateCutoffEdit", "300"},
    {"DisplayFunctionGroup", "0"},
    {"DisplayBrightnessGroup", "5"},
    {"DisplayBargraphGroup", "1"},
    {"DisplayBargraphEdit", "0"},
    {"PowermanagementLCDNewGroup", "2"},
    {"FlowmeterSignalGroup", "8"},
    {"FlowmeterConversionGroup", "1"},
    {"FlowmeterUnitGroup", "3"},
    {"FlowmeterKFactorDecimalsGroup", "0"},
    {"FlowmeterKFactorEdit", "1"},
};

const DefaultRow kASet[] = {
    {"TotalAUnitGroup", "1"},
    {"TotalADecimalsGroup", "0"},
    {"TotalASpanDecimalsGroup", "0"},
    {"TotalAMultiplyGroup", "0"},
    {"TotalASpanEdit", "1600"},
    {"FlowrateAUnitGroup", "2"},
    {"FlowrateAIntervalGroup", "0"},
    {"FlowrateADecimalsGroup", "0"},
    {"FlowrateASpanDecimalsGroup", "0"},
    {"FlowrateASpanEdit", "1600"},
    {"DisplayFunctionGroup", "0"},
    {"DisplayBrightnessGroup", "5"},
    {"DisplayBargraphGroup", "1"},
    {"DisplayBargraphEdit", "1"},
    {"PowermanagementLCDNewGroup", "1"},
    {"FlowmeterAFormulaGroup", "0"},
    {"FlowmeterAFilterEdit", "1"},
    {"FlowmeterACutOffEdit", "0"},
    {"FlowmeterACalibLoGroup", "1"},
    {"FlowmeterACalibHiGroup", "1"},
};

const DefaultRow kCommonBeforeTable[] = {
    {"LinearisationEnableGroup", "0"},
    {"LinearisationDecimalsGroup", "1"},
    {"LinearisationFactorGroup", "1"}, // one choice only: the index stays 0
};

const DefaultRow kCommonAfterTable[] = {
    {"AnalogEnableGroup", "0"},      {"AnalogMinEdit", "0"},
    {"AnalogMaxEdit", "99999"},      {"AnalogCutoffEdit", "0"},
    {"AnalogTuneMinEdit", "0"},      {"AnalogTuneMaxEdit", "9999"},
    {"AnalogFilterEdit", "1"},       {"PulseWidthEdit", "0"},
    {"PulseDecimalsGroup", "0"},     {"PulseAmountEdit", "1000"},
    {"CommunicProtocolGroup", "1"},  {"CommunicSpeedGroup", "3"},
    {"CommunicAddressEdit", "1"},    {"CommunicDatabitsGroup", "0"},
    {"CommunicParityGroup", "0"},    {"CommDelayEdit", "15"},
    {"DataLogIntervalGroup", "0"},   {"DataLogDailyGroup", "0"},
    {"DataLogDaily1", "00:00"},      {"DataLogDaily2", "00:00"},
    {"pickTime", "00:00:00"},        {"pickDate", "$today"},
    {"OthersModelEdit", "$model"},   {"OthersVersionEdit", "$version"},
    {"OthersSerialEdit", "$serial"}, {"OthersPasswordEdit", "7391"},
    {"OthersTagEdit", "0"},          {"OthersKeylockGroup", "1"},
};

// BulkLoading for the time values are placed, so no conversion question interrupts a load;
// restored however the load ends.
class BulkLoadingScope {
public:
    explicit BulkLoadingScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~BulkLoadingScope() { flag_ = before_; }
    BulkLoadingScope(const BulkLoadingScope&) = delete;
    BulkLoadingScope& operator=(const BulkLoadingScope&) = delete;

private:
    bool& flag_;
    bool before_;
};

// A choice, edit text or time of day into its control as a program step would put it.
void Put(editor::Form& form, const std::string& name, const std::string& value) {
    editor::Control& control = form[name];
    switch (control.kind) {
    case editor::ControlKind::RadioGroup:
    case editor::ControlKind::UnitButtons:
    case editor::ControlKind::ComboBox:
        form.SetItemIndex(name, ClampChoice(FileInteger(value).value_or(-1), control.items.size()));
        break;
    case editor::ControlKind::TimePicker:
        form.SetTime(name, ParseTime(value).value_or(editor::TimeOfDay{}));
        break;
    default:
        form.SetText(name, value);
        break;
    }
}

// The unit groups. Their buttons follow the unit class of the conversion mode at once, and the
// mode is placed after them; so they are placed once more when the mode holds, or a file's
// units would come back as the first unit of the mode the controls had before.
const char* const kUnitGroups[] = {"TotalUnitGroup", "FlowrateUnitGroup", "FlowmeterUnitGroup",
                                   "TotalAUnitGroup", "FlowrateAUnitGroup"};

bool IsUnitGroup(const std::string& name) {
    for (const char* group : kUnitGroups)
        if (name == group)
            return true;
    return false;
}

} // namespace

LocalDateTime CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string DateTimeText(const LocalDateTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

ConfigFiles::ConfigFiles(editor::Form& form, editor::EditingRules& rules, host::Prompts& prompts)
    : defaultsPath([](const std::string& name) { return DefaultsFilePath(name); }), form_(form),
      rules_(rules), prompts_(prompts) {
    form_.OnClick("LoadConfigButton", [this] { LoadConfigButtonClick(); });
    form_.OnClick("SaveConfigButton", [this] { SaveConfigButtonClick(); });
    form_.OnClick("LoadDefaultButton", [this] { LoadDefaultButtonClick(); });
    form_.OnClick("SaveDefaultButton", [this] { SaveDefaultButtonClick(); });
    form_.OnClick("FactoryConfigButton", [this] { FactoryConfigButtonClick(); });
    form_.OnClick("OfflineButton", [this] { OfflineButtonClick(); });
    form_.OnClick("SaveConfigButtonNew", [this] { SaveConfigButtonNewClick(); });
    // At model selection a default file that fails to load is not reported: the controls
    // keep what they had.
    form_.hooks.loadModelDefaults = [this](const std::string& key) { LoadModelDefaults(key); };
}

ConfigFiles::~ConfigFiles() = default;

// ---------------------------------------------------------------- built-in defaults

bool ConfigFiles::ApplyBuiltInDefaults(const std::string& modelName) {
    const BulkLoadingScope bulk(form_.BulkLoading);
    const Device& device = form_.device;
    auto apply = [this, &device](const DefaultRow& row) {
        const std::string value = row.value;
        if (value == "$today") {
            const LocalDateTime today = now();
            form_.SetDate(row.control, {today.year, today.month, today.day});
        } else if (value == "$model") {
            form_.SetText(row.control, device.Model);
        } else if (value == "$version") {
            form_.SetText(row.control, std::to_string(device.Version()));
        } else if (value == "$serial") {
            form_.SetText(row.control, std::to_string(device.SerialNumber));
        } else {
            Put(form_, row.control, value);
        }
    };
    const bool aSet = modelName == "R210-A";
    for (const DefaultRow& row : aSet ? std::span<const DefaultRow>(kASet) : std::span(kPSet))
        apply(row);
    for (const DefaultRow& row : aSet ? std::span<const DefaultRow>(kASet) : std::span(kPSet))
        if (IsUnitGroup(row.control))
            apply(row);
    for (const DefaultRow& row : kCommonBeforeTable)
        apply(row);
    for (const char* suffix : editor::kRowSuffixes)
        form_.SetText(std::string("FrequencyEdit") + suffix, "0");
    for (const char* suffix : editor::kRowSuffixes)
        form_.SetText(std::string("FactorEdit") + suffix, "1");
    if (form_.ensureVisible)
        form_.ensureVisible("FrequencyEdit1");
    for (const DefaultRow& row : kCommonAfterTable)
        apply(row);
    return true;
}

// ---------------------------------------------------------------- writer

bool ConfigFiles::WrittenNow(Written written, const std::string& id, bool defaultsMode) const {
    const bool variantA = form_.ActiveVariant == "A" || form_.ActiveVariant == "U";
    switch (written) {
    case Written::Always:
        return true;
    case Written::VariantA:
        return variantA;
    case Written::OtherVariants:
        return !variantA;
    case Written::Linearisation:
        // The frequency table of every model that shows it, not only of the R212: a Q4200
        // saved and loaded again must not come back with its table wiped.
        return id.substr(0, 4) == "R212" || form_.PageNamed("LinearisationSheet").visible;
    case Written::NotInDefaults:
        return !defaultsMode;
    }
    return false;
}

std::string ConfigFiles::ConfigurationText(const std::string& id, const std::string& separator,
                                           bool defaultsMode) const {
    const std::string tool = form_.versionText.empty() ? ToolVersionText() : form_.versionText;
    std::string text;
    auto line = [&text](const std::string& content) { text += content + kEol; };
    line("Company name: " + form_.CompanyName);
    line("Device location: " + form_.DeviceLocation);
    line("Tool " + tool);
    line("Date: " + DateTimeText(now()));
    line("");
    line("[MODEL]");
    line(KeyLine("ID", separator, id));
    line("");

    std::string section;
    for (const KeyRow& row : ConfigurationKeys()) {
        if (!WrittenNow(row.written, id, defaultsMode))
            continue;
        if (row.section != section) {
            if (!section.empty())
                line("");
            section = row.section;
            line("[" + section + "]");
        }
        const editor::Control& control = form_[row.control];
        std::string value;
        switch (row.kind) {
        case ValueKind::Choice:
            value = std::to_string(control.itemIndex);
            break;
        case ValueKind::Time:
            value = TimeText(control.time);
            break;
        case ValueKind::Number:
        case ValueKind::Text:
            value = control.text;
            break;
        }
        line(KeyLine(row.key, separator, value));
    }
    if (!section.empty())
        line("");
    return text;
}

bool ConfigFiles::WriteConfigurationFile(const std::string& path, const std::string& id,
                                         const std::string& separator, bool defaultsMode,
                                         std::string* error) const {
    return WriteFileAtomically(path, ConfigurationText(id, separator, defaultsMode), error);
}

// ---------------------------------------------------------------- reader

bool ConfigFiles::ReadConfigurationFile(const std::string& path, const std::string& expectedModel,
                                        bool defaultsMode) {
    readProblem_.clear();
    outOfRange_.clear();
    // A configuration is a few kilobytes; what is far beyond that is no configuration, and is
    // not read into memory to find out.
    constexpr off_t kLargestFile = 16 << 20;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > kLargestFile) {
        readProblem_ = path + ": " + kTooLarge;
        return false;
    }
    std::string text;
    if (!ReadFileText(path, text, &readProblem_))
        return false;
    if (LooksLikeUtf16(text)) {
        readProblem_ = path + ": " + kSavedAsUtf16;
        return false;
    }
    if (!ReadConfigurationText(text, expectedModel, defaultsMode))
        return false;
    if (!outOfRange_.empty()) {
        std::string message = kOutOfRangeIntro;
        for (const std::string& line : outOfRange_)
            message += kEol + line;
        prompts_.Inform(message, kAppTitle, host::PromptIcon::Warning);
    }
    return true;
}

std::string ConfigFiles::LoadFailureText() const {
    return readProblem_.empty() ? std::string(kFileNotValid) : kUnableToLoad + readProblem_ + ".";
}

bool ConfigFiles::ReadConfigurationText(const std::string& text, const std::string& expectedModel,
                                        bool defaultsMode) {
    outOfRange_.clear();
    const IniFile ini = IniFile::FromText(text);
    if (!ModelMatches(ini.ReadString("MODEL", "ID", ""), expectedModel))
        return false;

    {
        const BulkLoadingScope bulk(form_.BulkLoading);
        ApplyBuiltInDefaults(expectedModel);
        const Device& device = form_.device;
        std::vector<std::pair<std::string, std::string>> units;
        std::vector<std::pair<const KeyRow*, int32_t>> clamped;
        for (const KeyRow* row : ReadOrder()) {
            if (defaultsMode && row->written == Written::NotInDefaults) {
                switch (row->defaultsModeValue) {
                case DefaultsModeValue::ReaderDefault:
                    Put(form_, row->control, row->readerDefault);
                    break;
                case DefaultsModeValue::Empty:
                    form_.SetText(row->control, "");
                    break;
                case DefaultsModeValue::DeviceModel:
                    form_.SetText(row->control, device.Model);
                    break;
                case DefaultsModeValue::DeviceVersion:
                    form_.SetText(row->control, std::to_string(device.Version()));
                    break;
                case DefaultsModeValue::DeviceSerial:
                    form_.SetText(row->control, std::to_string(device.SerialNumber));
                    break;
                }
                continue;
            }
            const std::optional<std::string> stored = ini.Get(row->section, row->key);
            switch (row->kind) {
            case ValueKind::Choice:
            case ValueKind::Number: {
                const std::optional<int32_t> value =
                    stored ? FileInteger(Trim(*stored)) : std::nullopt;
                const std::string text = value ? std::to_string(*value) : row->readerDefault;
                Put(form_, row->control, text);
                const int32_t fileValue = value.value_or(0);
                if (row->kind == ValueKind::Choice && value.has_value() &&
                    form_[row->control].itemIndex != fileValue)
                    clamped.push_back({row, fileValue});
                if (IsUnitGroup(row->control))
                    units.emplace_back(row->control, text);
                break;
            }
            case ValueKind::Text:
                form_.SetText(row->control, stored ? Trim(*stored) : row->readerDefault);
                break;
            case ValueKind::Time: {
                // A time the parser does not take is midnight, as a missing one is.
                const std::optional<editor::TimeOfDay> time =
                    stored ? ParseTime(Trim(*stored)) : std::nullopt;
                form_.SetTime(row->control, time.value_or(editor::TimeOfDay{}));
                break;
            }
            }
        }
        for (const auto& [group, text] : units)
            Put(form_, group, text);
        // Told as the controls show them once the load is done.
        for (const auto& [row, stored] : clamped) {
            const editor::Control& control = form_[row->control];
            const auto index = control.itemIndex;
            std::string became = std::to_string(index);
            if (index < 0)
                became += " (none)";
            else if (static_cast<size_t>(index) < control.items.size())
                became += " (" + control.items[static_cast<size_t>(index)] + ")";
            outOfRange_.push_back(row->section + "/" + row->key + ": " + std::to_string(stored) +
                                  " became " + became);
        }
    }
    // The loaded conversion mode is the one a refused change returns to.
    rules_.SetConfirmedConversionMode(form_["FlowmeterConversionGroup"].itemIndex);
    return true;
}

// ---------------------------------------------------------------- per-model defaults

std::string ConfigFiles::ModelDefaultsPath(const std::string& key) const {
    return defaultsPath(key + kDefaultsSuffix);
}

bool ConfigFiles::LoadModelDefaults(const std::string& key) {
    const std::string path = ModelDefaultsPath(key);
    // Only a file that is not there at all is created; one that is there but cannot be read
    // is left alone, and the read below refuses it.
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
        ApplyBuiltInDefaults(form_.device.Model);
        WriteConfigurationFile(path, form_.device.ModelVersionKey(), "=", true);
    }
    return ReadConfigurationFile(path, form_.device.Model, true);
}

bool ConfigFiles::SaveModelDefaults(const std::string& key) {
    return WriteConfigurationFile(ModelDefaultsPath(key), key, "=", true);
}

// ---------------------------------------------------------------- buttons

void ConfigFiles::Inform(const std::string& text) {
    prompts_.Inform(text, kAppTitle, host::PromptIcon::Information);
}

void ConfigFiles::LoadConfigButtonClick() {
    host::FileDialogOptions options;
    options.title = kOpenTitle;
    options.fileName = "*.cvc";
    options.filter = kOpenFilter;
    options.defaultExtension = "cvc";
    options.mustExist = true;
    const std::optional<std::string> path = prompts_.OpenFileName(options);
    if (!path)
        return;
    if (ReadConfigurationFile(*path, form_.device.Model, false)) {
        rules_.UpdateValues();
        if (form_.ShowPopups)
            Inform(kLoadedConfiguration);
    } else {
        Inform(LoadFailureText());
    }
}

void ConfigFiles::SaveConfigButtonClick() {
    host::FileDialogOptions options;
    options.title = kSaveTitle;
    options.fileName = saveDialog.fileName;
    options.filter = saveDialog.filter;
    options.defaultExtension = saveDialog.defaultExtension;
    options.overwritePrompt = true;
    const int32_t serial = form_.device.SerialNumber;
    if (serial != -1 && serial != 0)
        options.fileName = "s-n" + PaddedDigits(serial, 7);
    std::string separator = "=";
    if (saveDialog.defaultExtension == "txt")
        separator = "\t";
    else if (saveDialog.defaultExtension == "csv")
        separator = ";";
    const std::optional<std::string> path = prompts_.SaveFileName(options);
    if (!path)
        return;
    std::string error;
    if (WriteConfigurationFile(*path, form_.device.ModelVersionKey(), separator, false, &error)) {
        if (form_.ShowPopups)
            Inform(kSavedConfiguration);
    } else {
        Inform(std::string(kUnableToSave) + kEol + error);
    }
}

void ConfigFiles::LoadDefaultButtonClick() {
    if (form_.device.SerialNumber == -1)
        return;
    if (form_.ShowPopups &&
        prompts_.Ask(kLoadDefaultQuestion, kDefaultCaption, host::PromptIcon::Question,
                     host::PromptButtons::YesNo) != host::PromptAnswer::Yes)
        return;
    if (LoadModelDefaults(form_.device.ModelVersionKey())) {
        rules_.UpdateValues();
        if (form_.ShowPopups)
            Inform(kLoadedDefault);
    } else {
        Inform(kUnableToLoadDefault);
    }
}

void ConfigFiles::SaveDefaultButtonClick() {
    if (form_.ShowPopups) {
        if (prompts_.Ask(kSaveDefaultQuestion, kDefaultCaption, host::PromptIcon::Question,
                         host::PromptButtons::YesNo) != host::PromptAnswer::Yes)
            return;
        std::string error;
        if (WriteConfigurationFile(ModelDefaultsPath(form_.device.ModelVersionKey()),
                                   form_.device.ModelVersionKey(), "=", true, &error))
            Inform(kSavedDefault);
        else
            Inform(std::string(kUnableToSaveDefault) + kEol + error);
    } else {
        SaveModelDefaults(form_.device.ModelVersionKey());
    }
    rules_.UpdateValues();
}

void ConfigFiles::FactoryConfigButtonClick() {
    ApplyBuiltInDefaults(form_.device.Model);
}

void ConfigFiles::OfflineButtonClick() {
    Device& device = form_.device;
    if (device.SerialNumber != 0) {
        const editor::Control& models = form_["ModelBox"];
        if (models.itemIndex < 0 || static_cast<size_t>(models.itemIndex) >= models.items.size()) {
            prompts_.Inform(kNoOfflineDevice, kNoOfflineDeviceCaption, host::PromptIcon::None);
        } else {
            const std::string model = models.items[static_cast<size_t>(models.itemIndex)];
            // Offline from the first page shown on: the pages' change handlers must not
            // mark the prepared configuration as waiting for a unit.
            form_.OfflineMode = true;
            if (form_.SetupModel(model + "P", 0)) {
                device.SerialNumber = 0;
                device.Model = model;
                device.Variant = 'P';
            } else {
                form_.OfflineMode = false;
            }
        }
    } else {
        device.SerialNumber = -1;
        form_.SetupModel("", 0);
        form_.OfflineMode = false;
    }
    form_.UpdateButtons();
    if (!device.Model.empty())
        LoadModelDefaults(device.ModelVersionKey());
    rules_.UpdateUnitTexts();
    rules_.UpdateValues();
}

void ConfigFiles::SaveConfigButtonNewClick() {
    saveExportForm_ =
        std::make_unique<TSaveExportForm>(*this, form_.CompanyName, form_.DeviceLocation);
    if (showSaveExport)
        showSaveExport(*saveExportForm_);
}

} // namespace vantrel::config
