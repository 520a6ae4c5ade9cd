// Configuration files on a headless main window: built-in defaults, the writer and the reader,
// the model check, per-model defaults and offline configuration.

#include "config/ConfigFiles.h"
#include "common/AppPaths.h"
#include "common/FileUtil.h"
#include "config/ConfigurationFile.h"
#include "config/SaveExportForm.h"
#include "editor/ControlTable.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::config;
using vantrel::host::ScriptedPrompts;

namespace {

const char* const kUntouched = " Status: untouched";

std::string TempDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vantrel-config-" + std::to_string(::getpid())) /
                                      (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string Slurp(const std::string& path) {
    std::string text;
    EXPECT_TRUE(ReadFileText(path, text, nullptr)) << path;
    return text;
}

class ConfigTest : public testing::Test {
protected:
    Device device;
    editor::Form form{device, "/nonexistent/vantrel-settings.ini"};
    ScriptedPrompts prompts;
    editor::EditingRules rules{form, prompts};
    ConfigFiles files{form, rules, prompts};
    std::string dir = TempDir();

    void SetUp() override {
        files.now = [] { return LocalDateTime{2017, 3, 10, 14, 5, 9}; };
        files.defaultsPath = [this](const std::string& name) { return dir + "/" + name; };
        form.versionText = "Version: 1.6 (build: 1.0)";
    }

    // A connected unit of this model on screen.
    // The families with five-letter names come with the pulse variant's pages, as their
    // identification brings them.
    void Connect(const std::string& model, int32_t serial = 1234, int32_t version = 0) {
        device.SerialNumber = serial;
        device.Model = model;
        device.SetVersion(version);
        device.Variant = model.size() >= 6 ? model[5] : 'P';
        form.SetupModel(model, model.size() >= 6 ? 0 : 'P');
        form.SetStatus(1, kUntouched);
    }

    // Every written control moved away from the built-in defaults, to values the editing
    // rules keep as they are.
    void Scramble() {
        form.BulkLoading = true;
        int n = 0;
        for (const KeyRow& row : ConfigurationKeys()) {
            const editor::Control& c = form[row.control];
            ++n;
            switch (row.kind) {
            case ValueKind::Choice:
                form.SetItemIndex(row.control, static_cast<int>((n % 3) % c.items.size()));
                break;
            case ValueKind::Number:
                form.SetText(row.control, std::to_string(100 + n));
                break;
            case ValueKind::Text:
                form.SetText(row.control, row.key == "ADDRESS" ? "17" : "t" + std::to_string(n));
                break;
            case ValueKind::Time:
                form.SetTime(row.control, {n % 24, 7, 30});
                break;
            }
        }
        form.BulkLoading = false;
    }

    std::string Write(const std::string& name, bool defaultsMode = false,
                      const std::string& separator = "=") {
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(
            files.WriteConfigurationFile(path, device.ModelVersionKey(), separator, defaultsMode));
        return path;
    }

    std::string Text(const std::string& control) const { return form[control].text; }
    int Index(const std::string& control) const { return form[control].itemIndex; }
};

// ---------------------------------------------------------------- built-in defaults

TEST_F(ConfigTest, BuiltInDefaultsPickTheSetByExactModelName) {
    struct Case {
        const char* model;
        bool aSet;
    };
    for (const Case& c : {Case{"R210-A", true}, Case{"R210-U", false}, Case{"R212-A", false},
                          Case{"R210-P", false}, Case{"Q4200", false}}) {
        SCOPED_TRACE(c.model);
        Scramble();
        const int totalA = Index("TotalAUnitGroup"), total = Index("TotalUnitGroup");
        const std::string spanA = Text("TotalASpanEdit"), kFactor = Text("TotalKFactorEdit");
        device.Model = c.model;
        device.SetVersion(30105);
        device.SerialNumber = 1234;
        EXPECT_TRUE(files.ApplyBuiltInDefaults(c.model));
        if (c.aSet) {
            EXPECT_EQ(Index("TotalAUnitGroup"), 1);
            EXPECT_EQ(Text("TotalASpanEdit"), "1600");
            EXPECT_EQ(Index("FlowrateAIntervalGroup"), 0);
            EXPECT_EQ(Text("DisplayBargraphEdit"), "1");
            EXPECT_EQ(Index("PowermanagementLCDNewGroup"), 1);
            EXPECT_EQ(Index("TotalUnitGroup"), total);
            EXPECT_EQ(Text("TotalKFactorEdit"), kFactor);
        } else {
            EXPECT_EQ(Index("TotalUnitGroup"), 6);
            EXPECT_EQ(Index("FlowrateUnitGroup"), 7);
            EXPECT_EQ(Index("FlowrateIntervalGroup"), 3);
            EXPECT_EQ(Text("FlowrateCutoffEdit"), "300");
            EXPECT_EQ(Index("FlowmeterSignalGroup"), 8);
            EXPECT_EQ(Index("FlowmeterUnitGroup"), 3);
            EXPECT_EQ(Text("DisplayBargraphEdit"), "0");
            EXPECT_EQ(Index("PowermanagementLCDNewGroup"), 2);
            EXPECT_EQ(Index("TotalAUnitGroup"), totalA);
            EXPECT_EQ(Text("TotalASpanEdit"), spanA);
        }
        // The common set.
        EXPECT_EQ(Index("LinearisationFactorGroup"), 0); // one choice: 1 cannot be shown
        EXPECT_EQ(Index("LinearisationDecimalsGroup"), 1);
        EXPECT_EQ(Text("FrequencyEditF"), "0");
        EXPECT_EQ(Text("FactorEdit1"), "1");
        EXPECT_EQ(Text("AnalogMaxEdit"), "99999");
        EXPECT_EQ(Text("AnalogTuneMaxEdit"), "9999");
        EXPECT_EQ(Index("CommunicProtocolGroup"), 1);
        EXPECT_EQ(Index("CommunicSpeedGroup"), 3);
        EXPECT_EQ(Text("CommunicAddressEdit"), "1");
        EXPECT_EQ(Text("CommDelayEdit"), "15");
        EXPECT_EQ(form["DataLogDaily1"].time, editor::TimeOfDay{});
        EXPECT_EQ(form["pickDate"].date, (editor::CalendarDate{2017, 3, 10}));
        EXPECT_EQ(Text("OthersModelEdit"), c.model);
        EXPECT_EQ(Text("OthersVersionEdit"), "30105");
        EXPECT_EQ(Text("OthersSerialEdit"), "1234");
        EXPECT_EQ(Text("OthersPasswordEdit"), "7391");
        EXPECT_EQ(Text("OthersTagEdit"), "0");
        EXPECT_EQ(Index("OthersKeylockGroup"), 1);
        EXPECT_FALSE(form.BulkLoading);
    }
}

// ---------------------------------------------------------------- the model check

TEST(ModelCheck, FiveCharactersOrTheNameWithSixDigits) {
    struct Case {
        const char* id;
        const char* model;
        bool match;
    };
    const Case cases[] = {
        {"Q4200_000000", "Q4200", true},
        {"Q4200_030105", "Q4200", true},
        {"Q4200", "Q4200", true},
        {"Q4200anything", "Q4200", true},
        {"R212-P_000000", "R212-P", true},
        {"R212-P_030105", "R212-P", true}, // a unit's own file, version and all
        {"R212-P_03010", "R212-P", false},
        {"R212-P_0301055", "R212-P", false},
        {"R212-P_03a105", "R212-P", false},
        {"R212-P-030105", "R212-P", false},
        {"R212-A_000000", "R212-P", false},
        {"R212-P", "R212-P", false},
        {"r212-p_000000", "R212-P", false},
        {"R210-P-HX_000000", "R210-P-HX", true},
        {"R210-P_000000", "R210-P-HX", false},
        {"", "R212-P", false},
        {"", "", false},
        {"N0456_000000", "Q4200", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ModelMatches(c.id, c.model), c.match) << c.id << " for " << c.model;
}

TEST_F(ConfigTest, ARefusedFileChangesNothingAndSaysSo) {
    Connect("R212-P");
    Scramble();
    const std::string before = files.ConfigurationText("X", "=", false);
    const std::string path = dir + "/other.cvc";
    ASSERT_TRUE(
        WriteFileAtomically(path, "[MODEL]\r\nID=R212-A_000000\r\n[TOTAL]\r\nUNIT=1\r\n", nullptr));
    for (bool popups : {true, false}) {
        form.ShowPopups = popups;
        prompts.shown.clear();
        prompts.fileNames.push_back(path);
        files.LoadConfigButtonClick();
        EXPECT_EQ(files.ConfigurationText("X", "=", false), before);
        ASSERT_EQ(prompts.Texts().size(), 2u);
        EXPECT_EQ(prompts.shown[0].file.title, "Load Unit Values from file...");
        EXPECT_EQ(prompts.shown[0].file.fileName, "*.cvc");
        EXPECT_EQ(prompts.shown[0].file.filter, "Configuration (*.cvc)|*.cvc|All files (*.*)|*.*");
        EXPECT_TRUE(prompts.shown[0].file.mustExist);
        EXPECT_EQ(prompts.shown[1].text, "Selected file is not valid for this model.");
        EXPECT_EQ(prompts.shown[1].caption, "Vantrel");
    }
}

// Files that cannot be read as a configuration at all: each gets its own message, in the
// window as on the command line, and the controls stay as they were. A pipe must not block.
TEST_F(ConfigTest, UnreadableFilesSayWhatIsWrongAndChangeNothing) {
    Connect("Q4200");
    Scramble();
    const std::string before = files.ConfigurationText("X", "=", false);
    const std::string fifo = dir + "/pipe.cvc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string locked = dir + "/locked.cvc";
    ASSERT_TRUE(WriteFileAtomically(locked, "[MODEL]\r\nID=Q4200\r\n", nullptr));
    ::chmod(locked.c_str(), 0);
    const std::string utf16 = dir + "/unicode.cvc";
    std::string wide = "\xFF\xFE";
    for (char ch : std::string("[MODEL]\r\nID=Q4200\r\n"))
        wide += std::string(1, ch) + '\0';
    ASSERT_TRUE(WriteFileAtomically(utf16, wide, nullptr));
    const std::string utf16NoMark = dir + "/unicode-nomark.cvc";
    ASSERT_TRUE(WriteFileAtomically(utf16NoMark, wide.substr(2), nullptr));
    const std::string utf16Big = dir + "/unicode-be.cvc";
    std::string wideBig = "\xFE\xFF";
    for (char ch : std::string("[MODEL]\r\nID=Q4200\r\n"))
        wideBig += std::string(1, '\0') + ch;
    ASSERT_TRUE(WriteFileAtomically(utf16Big, wideBig, nullptr));

    struct Case {
        std::string path;
        std::string message;
        bool asOtherUser = false; // root reads any file: the unreadable one is read as nobody
    };
    const Case cases[] = {
        {dir + "/absent.cvc", "Unable to load " + dir + "/absent.cvc: no such file."},
        {dir, "Unable to load " + dir + ": is a folder."},
        {fifo, "Unable to load " + fifo + ": is not a regular file."},
        {"/dev/zero", "Unable to load /dev/zero: is not a regular file."},
        {locked, "Unable to load " + locked + ": permission denied.", true},
        {utf16, "Unable to load " + utf16 + ": saved as UTF-16: save it as plain text."},
        {utf16NoMark,
         "Unable to load " + utf16NoMark + ": saved as UTF-16: save it as plain text."},
        {utf16Big, "Unable to load " + utf16Big + ": saved as UTF-16: save it as plain text."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        prompts.shown.clear();
        prompts.fileNames.push_back(c.path);
        const bool switchUser = c.asOtherUser && ::geteuid() == 0;
        if (switchUser) {
            ASSERT_EQ(::seteuid(65534), 0);
        }
        files.LoadConfigButtonClick();
        if (switchUser) {
            ASSERT_EQ(::seteuid(0), 0);
        }
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[1].text, c.message);
        EXPECT_EQ(files.ConfigurationText("X", "=", false), before);
        EXPECT_FALSE(form.BulkLoading);
    }
}

// Line ends and marks an editor may leave, and values in quotes, load as the plain file does.
TEST_F(ConfigTest, LineEndsMarksAndQuotesLoadAsThePlainFile) {
    Connect("Q4200");
    Scramble();
    const std::string plain = files.ConfigurationText("Q4200_000000", "=", false);
    auto replaceAll = [](std::string text, const std::string& from, const std::string& to) {
        for (size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    };
    const std::string fromModel = plain.substr(plain.find("[MODEL]"));
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"CR only", replaceAll(plain, "\r\n", "\r")},
        {"LF only", replaceAll(plain, "\r\n", "\n")},
        {"byte order mark before [MODEL]", "\xEF\xBB\xBF" + fromModel},
        {"byte order mark before the header", "\xEF\xBB\xBF" + plain},
        {"values in quotes",
         [&] {
             std::string text;
             size_t pos = 0;
             while (pos < fromModel.size()) {
                 const size_t eol = fromModel.find("\r\n", pos);
                 std::string line = fromModel.substr(pos, eol - pos);
                 const size_t eq = line.find('=');
                 if (eq != std::string::npos)
                     line = line.substr(0, eq + 1) + "\"" + line.substr(eq + 1) + "\"";
                 text += line + "\r\n";
                 pos = eol + 2;
             }
             return text;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files.ApplyBuiltInDefaults("Q4200");
        ASSERT_TRUE(files.ReadConfigurationText(c.text, "Q4200", false));
        EXPECT_EQ(files.ConfigurationText("Q4200_000000", "=", false), plain);
    }
    // The case that matters most to users: a quoted unit and password.
    ASSERT_TRUE(files.ReadConfigurationText(
        "[MODEL]\nID=Q4200\n[TOTAL]\nUNIT=\"3\"\n[OTHERS]\nPASSWORD=\"4321\"\n", "Q4200", false));
    EXPECT_EQ(Index("TotalUnitGroup"), 3);
    EXPECT_EQ(Text("OthersPasswordEdit"), "4321");
}

// A choice beyond its list is held at the list's end as before, and the user hears once per
// load which keys those were and what they became.
TEST_F(ConfigTest, OutOfRangeChoicesAreToldOncePerLoad) {
    Connect("Q4200");
    const std::string path = dir + "/range.cvc";
    ASSERT_TRUE(WriteFileAtomically(path,
                                    "[MODEL]\r\nID=Q4200\r\n[TOTAL]\r\nUNIT=1000\r\nDECIMALS=-7\r\n"
                                    "FACTORX=1\r\n[DISPLAY]\r\nFUNCTION=99\r\n",
                                    nullptr));
    const auto& functions = form["DisplayFunctionGroup"].items;
    for (int load = 0; load < 2; ++load) {
        prompts.shown.clear();
        prompts.fileNames.push_back(path);
        files.LoadConfigButtonClick();
        EXPECT_EQ(Index("DisplayFunctionGroup"), static_cast<int>(functions.size()) - 1);
        EXPECT_EQ(Index("TotalDecimalsGroup"), -1);
        EXPECT_EQ(Index("TotalMultiplyGroup"), 1);
        std::vector<std::string> warnings;
        for (const auto& shown : prompts.shown)
            if (shown.icon == host::PromptIcon::Warning)
                warnings.push_back(shown.text);
        ASSERT_EQ(warnings.size(), 1u);
        const int unit = Index("TotalUnitGroup");
        EXPECT_EQ(warnings[0],
                  std::string(kOutOfRangeIntro) + "\r\nTOTAL/UNIT: 1000 became " +
                      std::to_string(unit) + " (" +
                      form["TotalUnitGroup"].items[static_cast<size_t>(unit)] +
                      ")\r\nTOTAL/DECIMALS: -7 became -1 (none)\r\nDISPLAY/FUNCTION: 99 became " +
                      std::to_string(functions.size() - 1) + " (" + functions.back() + ")");
        EXPECT_EQ(prompts.shown.back().text, "Loaded configuration.");
    }
    // A file within range says nothing of the kind.
    prompts.shown.clear();
    ASSERT_TRUE(files.ReadConfigurationFile(Write("fine.cvc"), "Q4200", false));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(files.OutOfRange().empty());
}

// ---------------------------------------------------------------- round trips

TEST_F(ConfigTest, RoundTripsKeepEveryWrittenControl) {
    struct Case {
        const char* model;
        int32_t version;
        const char* absentSection;
    };
    for (const Case& c : {Case{"R210-P", 0, "TOTALA"}, Case{"R210-A", 0, "TOTAL"},
                          Case{"R212-P", 30105, "TOTALA"}, Case{"R212-A", 0, "TOTAL"}}) {
        SCOPED_TRACE(c.model);
        Connect(c.model, 1234, c.version);
        Scramble();
        const std::string written = files.ConfigurationText(device.ModelVersionKey(), "=", false);
        const std::string path = Write(std::string(c.model) + ".cvc");
        EXPECT_EQ(Slurp(path), written);
        EXPECT_EQ(written.find(std::string("[") + c.absentSection + "]"), std::string::npos);
        files.ApplyBuiltInDefaults(c.model);
        ASSERT_NE(files.ConfigurationText(device.ModelVersionKey(), "=", false), written);
        ASSERT_TRUE(files.ReadConfigurationFile(path, c.model, false));
        EXPECT_EQ(files.ConfigurationText(device.ModelVersionKey(), "=", false), written);
        EXPECT_FALSE(form.BulkLoading);
    }
}

TEST_F(ConfigTest, TheLayoutLineByLine) {
    Connect("R210-P");
    form.CompanyName = "Acme";
    form.DeviceLocation = "Pump 3";
    const std::string text = files.ConfigurationText("R210-P_000000", "=", false);
    const std::string head = "Company name: Acme\r\nDevice location: Pump 3\r\n"
                             "Tool Version: 1.6 (build: 1.0)\r\nDate: 2017-03-10 14:05:09\r\n\r\n"
                             "[MODEL]\r\nID             =R210-P_000000\r\n\r\n[TOTAL]\r\n"
                             "UNIT           =6\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("\r\n\r\n[DISPLAY]\r\nFUNCTION       =0\r\nLCDNEW         ="),
              std::string::npos);
    EXPECT_NE(text.find("KFACTORDECIMALS=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("[OTHERS]\r\nTAG            =0\r\nKEYLOCK        =1\r\nPASSWORD       ="),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    // Lines end with CR LF and nothing else.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_EQ(text[i - 1], '\r') << i;
        }
    }
}

TEST_F(ConfigTest, KeyLinesPadTheKeyToFifteenForEverySeparator) {
    for (const std::string separator : {"=", "\t", ";"}) {
        EXPECT_EQ(KeyLine("UNIT", separator, "6"), "UNIT           " + separator + "6");
        EXPECT_EQ(KeyLine("KFACTORDECIMALS", separator, "0"), "KFACTORDECIMALS" + separator + "0");
        Connect("R210-P");
        const std::string text = files.ConfigurationText("R210-P_000000", separator, false);
        EXPECT_NE(text.find("\r\nUNIT           " + separator + "6\r\n"), std::string::npos);
        EXPECT_NE(text.find("\r\nKFACTORDECIMALS" + separator), std::string::npos);
        // Section and header lines hold no separator; every key line has it at column 15.
        size_t start = 0;
        int keyLines = 0;
        while (start < text.size()) {
            const size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end - start);
            start = end + 2;
            if (line.empty() || line[0] == '[' || line.find(": ") != std::string::npos)
                continue;
            ASSERT_GT(line.size(), 15u) << line;
            EXPECT_EQ(line.substr(15, separator.size()), separator) << line;
            ++keyLines;
        }
        EXPECT_GT(keyLines, 40);
    }
}

// ---------------------------------------------------------------- reader defaults

TEST_F(ConfigTest, AbsentVariantSectionsTakeTheReaderDefaults) {
    for (const char* model : {"R210-P", "R210-A"}) {
        SCOPED_TRACE(model);
        Connect(model);
        Scramble();
        const std::string path = Write("variant.cvc");
        Scramble();
        ASSERT_TRUE(files.ReadConfigurationFile(path, model, false));
        const bool variantA = std::string(model) == "R210-A";
        for (const KeyRow& row : ConfigurationKeys()) {
            if (row.written != (variantA ? Written::OtherVariants : Written::VariantA))
                continue;
            const editor::Control& c = form[row.control];
            if (row.kind == ValueKind::Choice)
                EXPECT_EQ(c.itemIndex, ClampChoice(std::stoi(row.readerDefault), c.items.size()))
                    << row.section << "/" << row.key;
            else
                EXPECT_EQ(c.text, row.readerDefault) << row.section << "/" << row.key;
        }
    }
}

TEST_F(ConfigTest, LinearisationIsWrittenForR212AndWhereverItsPageShows) {
    struct Case {
        const char* model;
        bool written;
    };
    for (const Case& c : {Case{"R212-P", true}, Case{"R212-A", true}, Case{"Q4200", true},
                          Case{"N0456", true}, Case{"R210-P", false}, Case{"R210-A", false}}) {
        SCOPED_TRACE(c.model);
        Connect(c.model);
        const std::string text = files.ConfigurationText(device.ModelVersionKey(), "=", false);
        EXPECT_EQ(text.find("[LINEARISATION]") != std::string::npos, c.written);
        // Per-model defaults too.
        const std::string defaults = files.ConfigurationText(device.ModelVersionKey(), "=", true);
        EXPECT_EQ(defaults.find("[LINEARISATION]") != std::string::npos, c.written);
    }
    // A Q4200's table survives a save and a load.
    Connect("Q4200");
    form.SetItemIndex("LinearisationEnableGroup", 1);
    form.SetText("FrequencyEdit3", "250");
    form.SetText("FactorEdit3", "1000123");
    const std::string path = Write("q4200.cvc");
    files.ApplyBuiltInDefaults("Q4200");
    ASSERT_TRUE(files.ReadConfigurationFile(path, "Q4200", false));
    EXPECT_EQ(Index("LinearisationEnableGroup"), 1);
    EXPECT_EQ(Text("FrequencyEdit3"), "250");
    EXPECT_EQ(Text("FactorEdit3"), "1000123");
}

TEST_F(ConfigTest, AFileWithoutLinearisationTurnsItOffWithZeroFactors) {
    Connect("R210-P");
    form.SetItemIndex("LinearisationEnableGroup", 1);
    form.SetItemIndex("LinearisationDecimalsGroup", 3);
    form.SetText("FrequencyEdit1", "77");
    const std::string path = Write("r210.cvc");
    ASSERT_EQ(Slurp(path).find("LINEARISATION"), std::string::npos);
    ASSERT_TRUE(files.ReadConfigurationFile(path, "R210-P", false));
    EXPECT_EQ(Index("LinearisationEnableGroup"), 0);
    EXPECT_EQ(Index("LinearisationDecimalsGroup"), 1);
    for (const char* row : editor::kRowSuffixes) {
        EXPECT_EQ(Text(std::string("FrequencyEdit") + row), "0") << row;
        EXPECT_EQ(Text(std::string("FactorEdit") + row), "0") << row;
    }
}

TEST_F(ConfigTest, ValuesThatAreNotIntegersComeBackAsReaderDefaults) {
    Connect("R210-P");
    struct Case {
        const char* control;
        const char* text;
        const char* back;
    };
    const Case cases[] = {
        {"TotalKFactorEdit", "1.5", "1"},      {"FlowratePulsesEdit", "", "10"},
        {"FlowrateCutoffEdit", "3e2", "300"},  {"AnalogMaxEdit", "99999999999", "99999"},
        {"DisplayBargraphEdit", " 42 ", "42"}, {"PulseAmountEdit", "+7", "7"},
        {"OthersTagEdit", "0012", "12"},
    };
    for (const Case& c : cases)
        form.SetText(c.control, c.text);
    const std::string path = Write("numbers.cvc");
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("KFACTOR        =1.5\r\n"), std::string::npos); // written unchanged
    ASSERT_TRUE(files.ReadConfigurationFile(path, "R210-P", false));
    for (const Case& c : cases)
        EXPECT_EQ(Text(c.control), c.back) << c.control << " from \"" << c.text << "\"";
}

TEST_F(ConfigTest, AHandWrittenFileInAnotherOrderAndCase) {
    Connect("R212-P", 1234, 30105);
    const std::string path = dir + "/hand.cvc";
    ASSERT_TRUE(WriteFileAtomically(path,
                                    "some notes\n"
                                    "[others]\n  password =  4321 \nkeylock=0\n"
                                    "[Communication]\nParity = 2\ndatabits=1\nspeed=5\nPROTOCOL=2\n"
                                    "address = 12\n"
                                    "[datalogging]\ndaily2=2:30:15 PM\ndaily1 = 07:45\n"
                                    "daily1=11:11:11\n"
                                    "[Total]\nfactorx=2\nUnit=3\n"
                                    "[model]\nid = R212-P_030105\n",
                                    nullptr));
    prompts.fileNames.push_back(path);
    files.LoadConfigButtonClick();
    ASSERT_EQ(prompts.Texts().back(), "Loaded configuration.");
    EXPECT_EQ(Text("OthersPasswordEdit"), "4321");
    EXPECT_EQ(Index("OthersKeylockGroup"), 0);
    EXPECT_EQ(form["CommunicParityGroup"].items[static_cast<size_t>(Index("CommunicParityGroup"))],
              "Odd");
    EXPECT_EQ(
        form["CommunicDatabitsGroup"].items[static_cast<size_t>(Index("CommunicDatabitsGroup"))],
        "7 Bits");
    EXPECT_EQ(Index("CommunicSpeedGroup"), 5);
    EXPECT_EQ(Text("CommunicAddressEdit"), "12");
    EXPECT_EQ(form["DataLogDaily2"].time, (editor::TimeOfDay{14, 30, 15}));
    EXPECT_EQ(form["DataLogDaily1"].time, (editor::TimeOfDay{7, 45, 0})); // the first one counts
    EXPECT_EQ(Index("TotalMultiplyGroup"), 2);
    EXPECT_EQ(Index("TotalUnitGroup"), 3);
    EXPECT_EQ(Text("OthersModelEdit"), "Not set"); // absent identity keys
    EXPECT_EQ(Text("CommDelayEdit"), "15");
}

TEST(TimeOfDay, TwentyFourAndTwelveHourForms) {
    struct Case {
        const char* text;
        std::optional<editor::TimeOfDay> time;
    };
    const Case cases[] = {
        {"00:00:00", editor::TimeOfDay{0, 0, 0}},
        {"23:59:59", editor::TimeOfDay{23, 59, 59}},
        {"7:05", editor::TimeOfDay{7, 5, 0}},
        {"12:00:00 AM", editor::TimeOfDay{0, 0, 0}},
        {"12:30:00 PM", editor::TimeOfDay{12, 30, 0}},
        {"1:02:03 pm", editor::TimeOfDay{13, 2, 3}},
        {"11:59:59AM", editor::TimeOfDay{11, 59, 59}},
        {"24:00:00", std::nullopt},
        {"13:00:00 PM", std::nullopt},
        {"0:10 AM", std::nullopt},
        {"10:60", std::nullopt},
        {"10", std::nullopt},
        {"", std::nullopt},
        {"ab:cd", std::nullopt},
        {"10:00:00 XM", std::nullopt},
        {"999:00", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseTime(c.text), c.time) << c.text;
    EXPECT_EQ(TimeText({9, 5, 7}), "09:05:07");
}

TEST_F(ConfigTest, DefaultsModeLeavesOutCommunicationAndIdentity) {
    Connect("R212-P", 1234, 30105);
    Scramble();
    const std::string path = Write("defaults.ini", true);
    const std::string text = Slurp(path);
    EXPECT_EQ(text.find("[COMMUNICATION]"), std::string::npos);
    EXPECT_NE(
        text.find("KEYLOCK        =" + std::to_string(Index("OthersKeylockGroup")) + "\r\n\r\n"),
        std::string::npos);
    EXPECT_EQ(text.find("PASSWORD"), std::string::npos);
    EXPECT_EQ(text.find("SERIAL"), std::string::npos);
    // The reader does not consult the file for them, even when the file has them.
    const std::string full = Write("full.cvc");
    ASSERT_TRUE(files.ReadConfigurationFile(full, "R212-P", true));
    EXPECT_EQ(Index("CommunicProtocolGroup"), 1);
    EXPECT_EQ(Index("CommunicSpeedGroup"), 3);
    EXPECT_EQ(Text("CommunicAddressEdit"), "1");
    EXPECT_EQ(Index("CommunicDatabitsGroup"), 0);
    EXPECT_EQ(Index("CommunicParityGroup"), 0);
    EXPECT_EQ(Text("CommDelayEdit"), "15");
    EXPECT_EQ(Text("OthersPasswordEdit"), "");
    EXPECT_EQ(Text("OthersModelEdit"), "R212-P");
    EXPECT_EQ(Text("OthersVersionEdit"), "30105");
    EXPECT_EQ(Text("OthersSerialEdit"), "1234");
}

// ---------------------------------------------------------------- load and save flows

TEST_F(ConfigTest, LoadAndSaveMessagesFollowPopups) {
    Connect("R210-P", 1234);
    for (bool popups : {true, false}) {
        SCOPED_TRACE(popups);
        form.ShowPopups = popups;
        prompts.shown.clear();
        const std::string path = dir + "/flow.cvc";
        prompts.fileNames.push_back(path);
        files.SaveConfigButtonClick();
        prompts.fileNames.push_back(path);
        files.LoadConfigButtonClick();
        std::vector<std::string> expected = {"Save Unit Values to file..."};
        if (popups)
            expected.push_back("Saved configuration.");
        expected.push_back("Load Unit Values from file...");
        if (popups)
            expected.push_back("Loaded configuration.");
        EXPECT_EQ(prompts.Texts(), expected);
        EXPECT_EQ(prompts.shown[0].file.fileName, "s-n0001234");
        EXPECT_EQ(prompts.shown[0].file.defaultExtension, "cvc");
        EXPECT_TRUE(prompts.shown[0].file.overwritePrompt);
    }
    // Cancelled dialogs do nothing.
    prompts.shown.clear();
    files.SaveConfigButtonClick();
    files.LoadConfigButtonClick();
    EXPECT_EQ(prompts.shown.size(), 2u);
}

TEST_F(ConfigTest, TheSeparatorFollowsTheDefaultExtension) {
    Connect("R210-P", 0);
    device.SerialNumber = 0;
    struct Case {
        const char* extension;
        const char* line;
    };
    for (const Case& c :
         {Case{"cvc", "UNIT           =6\r\n"}, Case{"txt", "UNIT           \t6\r\n"},
          Case{"csv", "UNIT           ;6\r\n"}, Case{"doc", "UNIT           =6\r\n"}}) {
        files.saveDialog.defaultExtension = c.extension;
        files.saveDialog.fileName = "*.x";
        const std::string path = dir + "/out." + c.extension;
        prompts.fileNames.push_back(path);
        prompts.shown.clear();
        files.SaveConfigButtonClick();
        ASSERT_FALSE(prompts.shown.empty());
        EXPECT_EQ(prompts.shown[0].file.fileName, "*.x"); // no unit: no "s-n" name
        EXPECT_NE(Slurp(path).find(c.line), std::string::npos) << c.extension;
    }
}

TEST_F(ConfigTest, AFailedSaveLeavesTheOldFileByteForByte) {
    Connect("R212-P");
    const std::string folder = dir + "/saves";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/old.cvc";
    const std::string old = "Company name: old\r\n\r\n[MODEL]\r\nID=R212-P_000000\r\n";
    ASSERT_TRUE(WriteFileAtomically(path, old, nullptr));
    // No file may grow past a few bytes: the new file cannot be completed, whoever runs this.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    prompts.fileNames.push_back(path);
    form.ShowPopups = false;
    files.SaveConfigButtonClick();
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(prompts.Texts().back(),
              "Unable to save configuration.\r\ncannot write " + path + ": File too large");
    EXPECT_EQ(Slurp(path), old);
    std::vector<std::string> entries;
    for (auto& entry : std::filesystem::directory_iterator(folder))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"old.cvc"});
    // A folder that does not exist.
    prompts.fileNames.push_back(dir + "/no/such/folder/x.cvc");
    files.SaveConfigButtonClick();
    EXPECT_EQ(prompts.Texts().back(),
              "Unable to save configuration.\r\ncannot create a temporary file in the folder " +
                  dir + "/no/such/folder: no such file");
}

TEST_F(ConfigTest, StatusTextAfterALoad) {
    Connect("R210-P", 1234);
    Scramble();
    const std::string path = Write("status.cvc");
    files.ApplyBuiltInDefaults("R210-P");
    form.SetStatus(1, kUntouched);
    prompts.fileNames.push_back(path);
    files.LoadConfigButtonClick();
    EXPECT_EQ(form.statusPanels[1], editor::kModifiedStatus);

    form.OfflineMode = true;
    device.SerialNumber = 0;
    files.ApplyBuiltInDefaults("R210-P");
    form.SetStatus(1, kUntouched);
    prompts.fileNames.push_back(path);
    files.LoadConfigButtonClick();
    EXPECT_EQ(prompts.Texts().back(), "Loaded configuration.");
    EXPECT_EQ(form.statusPanels[1], kUntouched);
}

TEST_F(ConfigTest, GarbageFilesGiveReaderDefaultsOrARefusal) {
    Connect("Q4200", 1234);
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 131) & 0xff);
    const std::string hugeLine(1 << 20, 'x');
    struct Case {
        const char* name;
        std::string text;
        bool loads;
    };
    const Case cases[] = {
        {"empty", "", false},
        {"binary", binary, false},
        {"binary after ID", "[MODEL]\nID=Q4200_000000\n" + binary, true},
        {"huge line", "[MODEL]\nID=Q4200_000000\n[TOTAL]\nUNIT=" + hugeLine + "\n", true},
        {"nul bytes", std::string("[MODEL]\nID=Q4200\n[TOTAL]\nUNIT=3\0\0\n", 32), true},
        {"out of range", "[MODEL]\nID=Q4200\n[TOTAL]\nUNIT=99\nDECIMALS=-9\n", true},
        {"no sections", "ID=Q4200_000000\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/garbage.cvc";
        ASSERT_TRUE(WriteFileAtomically(path, c.text, nullptr));
        EXPECT_EQ(files.ReadConfigurationFile(path, "Q4200", false), c.loads);
    }
    // The last loaded file: indexes held within the group.
    EXPECT_GE(Index("TotalUnitGroup"), 0);
    EXPECT_LT(Index("TotalUnitGroup"), static_cast<int>(form["TotalUnitGroup"].items.size()));
    EXPECT_EQ(Index("TotalDecimalsGroup"), -1);
    // Far too big to be a configuration, whatever it begins with.
    {
        const std::string path = dir + "/huge.cvc";
        std::string text = "[MODEL]\nID=Q4200_000000\n[OTHERS]\nTAG=";
        text.append((16 << 20) + 1, '7');
        ASSERT_TRUE(WriteFileAtomically(path, text, nullptr));
        EXPECT_FALSE(files.ReadConfigurationFile(path, "Q4200", false));
    }
    // A folder and a missing file.
    EXPECT_FALSE(files.ReadConfigurationFile(dir, "Q4200", false));
    EXPECT_FALSE(files.ReadConfigurationFile(dir + "/absent.cvc", "Q4200", false));
    EXPECT_FALSE(form.BulkLoading);
}

// ---------------------------------------------------------------- defaults and offline

TEST_F(ConfigTest, FirstOfflineQ4200CreatesItsDefaultFile) {
    device.SerialNumber = -1;
    form.UpdateButtons();
    form.UserSelect("ModelBox", 0);
    form.SetStatus(1, kUntouched);
    files.OfflineButtonClick();
    EXPECT_EQ(device.SerialNumber, 0);
    EXPECT_EQ(device.Model, "Q4200");
    EXPECT_EQ(device.Variant, 'P');
    EXPECT_TRUE(form.OfflineMode);
    const std::string path = dir + "/Q4200_000000_dft.ini";
    ASSERT_TRUE(std::filesystem::exists(path));
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("ID             =Q4200_000000\r\n"), std::string::npos);
    EXPECT_NE(text.find("[TOTAL]\r\nUNIT           =6\r\n"), std::string::npos);
    EXPECT_NE(text.find("FLOWRATE]\r\nUNIT           =7\r\nINTERVAL       =3\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("[COMMUNICATION]"), std::string::npos);
    EXPECT_EQ(text.find("PASSWORD"), std::string::npos);
    EXPECT_EQ(text.find("[TOTALA]"), std::string::npos);
    // The Q4200 shows its frequency table, so its defaults keep it (built-in factors 1).
    EXPECT_NE(text.find("FACT1          =1\r\n"), std::string::npos);
    EXPECT_EQ(Text("FactorEdit1"), "1");
    EXPECT_EQ(
        form["CommunicProtocolGroup"].items[static_cast<size_t>(Index("CommunicProtocolGroup"))],
        "RTU");
    EXPECT_EQ(form["CommunicSpeedGroup"].items[static_cast<size_t>(Index("CommunicSpeedGroup"))],
              "9600");
    EXPECT_EQ(Text("CommunicAddressEdit"), "1");
    EXPECT_EQ(Index("CommunicParityGroup"), 0);
    EXPECT_EQ(Index("CommunicDatabitsGroup"), 0);
    EXPECT_EQ(Text("CommDelayEdit"), "15");
    EXPECT_EQ(Text("OthersPasswordEdit"), "");
    EXPECT_EQ(Text("OthersModelEdit"), "Q4200");
    EXPECT_EQ(Text("OthersVersionEdit"), "0");
    EXPECT_EQ(Text("OthersSerialEdit"), "0");
    EXPECT_EQ(form.statusPanels[1], kUntouched);
}

TEST_F(ConfigTest, SaveDefaultAndEnterAgain) {
    device.SerialNumber = -1;
    form.UserSelect("ModelBox", 0);
    files.OfflineButtonClick();
    form.SetItemIndex("DisplayBrightnessGroup", 2);
    form.SetText("PulseAmountEdit", "4321");
    form.SetText("FrequencyEdit2", "120");
    form.SetText("OthersPasswordEdit", "1111");
    form.SetItemIndex("CommunicParityGroup", 1);
    prompts.shown.clear();
    files.SaveDefaultButtonClick();
    ASSERT_EQ(prompts.Texts().size(), 2u);
    EXPECT_EQ(prompts.shown[0].caption, "Default configuration");
    EXPECT_EQ(prompts.shown[1].text, "Saved new default configuration for this model.");

    files.OfflineButtonClick(); // leave
    EXPECT_EQ(device.SerialNumber, -1);
    EXPECT_FALSE(form.OfflineMode);
    files.OfflineButtonClick(); // enter again
    EXPECT_EQ(Index("DisplayBrightnessGroup"), 2);
    EXPECT_EQ(Text("PulseAmountEdit"), "4321");
    EXPECT_EQ(Text("FrequencyEdit2"), "120");
    EXPECT_EQ(Text("OthersPasswordEdit"), "");
    EXPECT_EQ(Index("CommunicParityGroup"), 0);

    // "Factory Config." needs no answer and shows nothing.
    prompts.shown.clear();
    files.FactoryConfigButtonClick();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Text("OthersPasswordEdit"), "7391");
    EXPECT_EQ(Text("PulseAmountEdit"), "1000");
    // "Default Config." brings the saved ones back.
    files.LoadDefaultButtonClick();
    EXPECT_EQ(prompts.Texts().back(), "Loaded default configuration for this model.");
    EXPECT_EQ(Text("PulseAmountEdit"), "4321");
}

TEST_F(ConfigTest, OfflineWithoutASelectionSaysSo) {
    device.SerialNumber = -1;
    files.OfflineButtonClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "You have not selected a device for offline configuration.");
    EXPECT_EQ(prompts.shown[0].caption, "Please select device");
    EXPECT_EQ(prompts.shown[0].icon, host::PromptIcon::None);
    EXPECT_EQ(device.SerialNumber, -1);
    EXPECT_FALSE(form.OfflineMode);
}

TEST_F(ConfigTest, AConnectedUnitWithAVersionLoadsItsOwnDefaults) {
    Connect("R212-P", 1234, 30105);
    ASSERT_TRUE(std::filesystem::exists(dir + "/R212-P_030105_dft.ini")); // by SetupModel's hook
    prompts.shown.clear();
    files.LoadDefaultButtonClick();
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{
                                   "Load the default configuration for this model?\r\nYour current "
                                   "configuration will be lost.",
                                   "Loaded default configuration for this model."}));
    // A default file of another model under this name is refused.
    ASSERT_TRUE(WriteFileAtomically(dir + "/R212-P_030105_dft.ini",
                                    "[MODEL]\r\nID=R212-A_030105\r\n", nullptr));
    form.ShowPopups = false;
    files.LoadDefaultButtonClick();
    EXPECT_EQ(prompts.Texts().back(), "Unable to load default configuration for this model.");
    // A default file that is a folder is left alone and refused.
    std::filesystem::remove(dir + "/R212-P_030105_dft.ini");
    std::filesystem::create_directories(dir + "/R212-P_030105_dft.ini");
    EXPECT_FALSE(files.LoadModelDefaults(device.ModelVersionKey()));
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/R212-P_030105_dft.ini"));
}

} // namespace

namespace {

// ---------------------------------------------------------------- save and export dialog

TEST_F(ConfigTest, ExportsCarryTheHeaderAndTheirSeparator) {
    Connect("R210-P", 1234);
    struct Case {
        SaveKind kind;
        const char* extension;
        const char* preset;
        const char* filter;
        const char* unitLine;
        const char* company;
    };
    const Case cases[] = {
        {SaveKind::TextReport, "txt", "*.txt", "Text files (*.txt)|*.txt|Any file (*.*)|*.*",
         "UNIT           \t6\r\n", "Acme"},
        {SaveKind::CsvReport, "csv", "*.csv", "Comma separated (*.csv)|*.csv|Any file (*.*)|*.*",
         "UNIT           ;6\r\n", "Beta"},
        // A plain save keeps the header of the last export.
        {SaveKind::ConfigurationFile, "cvc", "*.cvc",
         "Configuration files (*.cvc)|*.cvc|Any file (*.*)|*.*", "UNIT           =6\r\n", "Beta"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        form.Click("SaveConfigButtonNew");
        TSaveExportForm* dialog = files.SaveExportForm();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->Choice(), SaveKind::ConfigurationFile);
        EXPECT_FALSE(dialog->HeaderEditsEnabled());
        EXPECT_TRUE(dialog->tfCompany.empty()); // its own edits always start empty
        dialog->Select(c.kind);
        EXPECT_EQ(dialog->HeaderEditsEnabled(), c.kind != SaveKind::ConfigurationFile);
        dialog->tfCompany = c.company;
        dialog->tfLocation = "Site 9";
        const std::string path = dir + "/report." + c.extension;
        prompts.shown.clear();
        prompts.fileNames.push_back(path);
        dialog->Button1Click();
        EXPECT_TRUE(dialog->Closed());
        ASSERT_FALSE(prompts.shown.empty());
        EXPECT_EQ(prompts.shown[0].file.defaultExtension, c.extension);
        EXPECT_EQ(prompts.shown[0].file.filter, c.filter);
        EXPECT_EQ(prompts.shown[0].file.fileName, "s-n0001234"); // the unit's name wins
        EXPECT_EQ(files.saveDialog.fileName, c.preset);
        const std::string text = Slurp(path);
        EXPECT_EQ(text.substr(0, text.find("Tool")),
                  std::string("Company name: ") + c.company + "\r\nDevice location: Site 9\r\n");
        EXPECT_NE(text.find(c.unitLine), std::string::npos);
    }
    EXPECT_FALSE(TSaveExportForm::kPrintEnabled);
    // Cancelling the file dialog closes the dialog and writes nothing.
    form.Click("SaveConfigButtonNew");
    files.SaveExportForm()->Button1Click();
    EXPECT_TRUE(files.SaveExportForm()->Closed());
}

} // namespace

// ---------------------------------------------------------------- the settings file's name

TEST(SettingsFile, FollowsTheProgramsName) {
    const struct {
        const char* program;
        const char* file;
    } names[] = {
        {"vantrel", "vantrel.ini"},     {"flowcfg", "flowcfg.ini"},
        {"flowcfg.bin", "flowcfg.ini"}, {"vantrel-1.6", "vantrel-1.6.ini"},
        {"tool.v2", "tool.ini"},        {".hidden", ".hidden.ini"},
        {"trailing.", "trailing..ini"}, {"", "vantrel.ini"},
    };
    for (const auto& n : names)
        EXPECT_EQ(SettingsFileName(n.program), n.file) << n.program;

    // Beside a program in a folder it may write to; by the XDG rules where it may not.
    const std::string dir =
        testing::TempDir() + "/vantrel-settings-name-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir + "/bin");
    EXPECT_EQ(SettingsFilePathFor(dir + "/bin/flowcfg"), dir + "/bin/flowcfg.ini");
    EXPECT_EQ(SettingsFilePathFor(dir + "/bin/vantrel"), dir + "/bin/vantrel.ini");
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = before ? before : "";
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    std::filesystem::create_directories(dir + "/config");
    EXPECT_EQ(SettingsFilePathFor(dir + "/installed/flowcfg"), dir + "/config/vantrel/flowcfg.ini");
    if (before)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir);
}
