#include "editor/Form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace vantrel;
using editor::Form;

namespace {

std::string VisiblePages(const Form& form) {
    std::string list;
    for (size_t i = 0; i < form.Pages().size(); ++i)
        if (form.Pages()[i].visible)
            list += (list.empty() ? "" : " ") + std::to_string(i + 1);
    return list;
}

std::string SettingsFile(const std::string& text) {
    const std::string path = testing::TempDir() + "/form-settings-" + std::to_string(::getpid()) + ".ini";
    std::ofstream(path) << text;
    return path;
}

struct ModelCase {
    const char* name;
    char variant;
    bool hasDataLog;
    bool known;
    const char* pages; // numbers of the visible pages, 1 = HOME
    const char* activeVariant;
};

} // namespace

TEST(Form, SetupModelShowsTheModelsPages) {
    const ModelCase cases[] = {
        {"R210-P", 0, false, true, "1 2 3 5 7 8 12 13 14 16", "P"},
        {"R210-P-HX", 0, false, true, "1 2 3 5 7 8 12 13 14 16", "P"},
        {"R210-P-HX", 0, true, true, "1 2 3 5 7 8 12 13 14 15 16", "P"},
        {"R210-A", 0, false, true, "1 2 4 6 7 9 12 13 14 16", "A"},
        {"R210-U", 0, true, true, "1 2 4 6 7 9 12 13 14 16", "U"},
        {"R212-A", 0, false, true, "1 2 4 6 7 9 11 12 13 14 16", "A"},
        {"R212-P", 0, true, true, "1 2 3 5 7 8 10 12 13 14 16", "P"},
        {"Q4200P", 0, false, true, "1 2 3 5 7 8 10 12 13 14 16", "P"},
        {"Q4200P", 0, true, true, "1 2 3 5 7 8 10 12 13 14 15 16", "P"},
        {"Q4200", 'P', true, true, "1 2 3 5 7 8 10 12 13 14 15 16", "P"},
        {"N0456", 'P', false, true, "1 2 3 5 7 8 10 12 13 14 16", "P"},
        {"R212-P-HX", 0, true, false, "1", "P"},
        {"", 0, false, false, "1", ""},
        {"r210-p", 0, false, false, "1", "p"},
    };
    for (const ModelCase& c : cases) {
        Device device;
        device.HasDataLog = c.hasDataLog;
        Form form(device, "/nonexistent/settings.ini");
        EXPECT_EQ(form.SetupModel(c.name, c.variant), c.known) << c.name;
        EXPECT_EQ(VisiblePages(form), c.pages) << c.name << " data log " << c.hasDataLog;
        EXPECT_EQ(form.ActiveVariant, c.activeVariant) << c.name;
        EXPECT_EQ(form.ActivePage(), 0) << c.name;
        EXPECT_TRUE(form.Pages()[0].highlighted) << c.name;
    }
}

TEST(Form, AnUnknownVariantLetterKeepsTheVariantPagesAsTheyWere) {
    Device device;
    Form form(device, "");
    form.SetupModel("R212-A", 0);
    EXPECT_TRUE(form.SetupModel("R212-P", 'X'));
    EXPECT_EQ(VisiblePages(form), "1 2 4 6 7 9 11 12 13 14 16"); // still the A set
    form.SetupModel("", 0);
    EXPECT_TRUE(form.SetupModel("R212-P", 'X'));
    EXPECT_EQ(VisiblePages(form), "1 2 7 12 13 14 16"); // none of the eight
}

TEST(Form, SetupModelLoadsTheDefaultsOfTheDevicesModel) {
    Device device;
    Form form(device, "");
    std::vector<std::string> loaded;
    int unitTexts = 0;
    form.hooks.loadModelDefaults = [&](const std::string& key) { loaded.push_back(key); };
    form.hooks.updateUnitTexts = [&] { ++unitTexts; };
    form.SetupModel("R210-P", 0);
    EXPECT_TRUE(loaded.empty()); // no device model yet
    device.Model = "R210-A";
    device.SetVersion(30105);
    form.SetupModel("R210-P", 0);
    EXPECT_EQ(loaded, std::vector<std::string>{"R210-A_030105"});
    EXPECT_EQ(unitTexts, 2);
}

TEST(Form, UpdateButtonsByConnectionState) {
    Device device;
    Form form(device, "");
    struct Row {
        const char* control;
        bool noUnit, offline, connected;
    };
    const Row rows[] = {
        {"ModelBox", 1, 0, 0},          {"RevisionBox", 0, 0, 0},
        {"LoadDefaultButton", 0, 1, 1}, {"LoadConfigButton", 0, 1, 1},
        {"SaveConfigButtonNew", 0, 1, 1}, {"UploadButton", 0, 0, 1},
        {"DownloadButton", 0, 0, 1},    {"ConnectButton", 1, 0, 1},
        {"CommunicButton", 1, 0, 1},    {"RestartButton", 0, 0, 1},
        {"FactoryResetButton", 0, 0, 1}, {"LogdataButton", 0, 0, 1},
        {"OfflineButton", 1, 1, 0},     {"FactoryConfigButton", 0, 1, 0},
        {"SaveDefaultButton", 0, 1, 0}, {"RefeshButton", 0, 0, 1},
        {"ClearTotalButton", 0, 0, 1},  {"CalTuneMax", 0, 0, 1},
        {"CalTuneMin", 0, 0, 1},
    };
    device.HasDataLog = true;
    for (int state = 0; state < 3; ++state) {
        device.SerialNumber = state == 0 ? -1 : state == 1 ? 0 : 1234567;
        form.UpdateButtons();
        for (const Row& row : rows) {
            const bool expected = state == 0 ? row.noUnit : state == 1 ? row.offline : row.connected;
            EXPECT_EQ(form[row.control].enabled, expected) << row.control << " state " << state;
        }
        EXPECT_EQ(form["OfflineButton"].caption,
                  state == 1 ? "Leave offline configuration" : "Enter offline configuration");
        EXPECT_EQ(form["ConnectButton"].caption, state == 2 ? "Release device" : "Connect device");
    }
    device.HasDataLog = false;
    form.UpdateButtons();
    EXPECT_FALSE(form["LogdataButton"].enabled);
}

TEST(Form, NavigationSkipsHiddenPagesAndWraps) {
    Device device;
    Form form(device, "");
    form.SetupModel("R210-P", 0); // 1 2 3 5 7 8 12 13 14 16
    std::vector<int> forward;
    for (int i = 0; i < 11; ++i) {
        const std::string next = form.ActivePageName() + "Next";
        if (form.Has(next))
            form.Click(next);
        else
            form.btnNextClick(); // HOME has no button; Others has "Finish"

        forward.push_back(form.ActivePage() + 1);
    }
    EXPECT_EQ(forward, (std::vector<int>{2, 3, 5, 7, 8, 12, 13, 14, 16, 1, 2}));
    // Only the active tab is highlighted.
    int highlighted = 0;
    for (const auto& page : form.Pages())
        highlighted += page.highlighted;
    EXPECT_EQ(highlighted, 1);

    form.SelectPage(0);
    form.btnPrevClick();
    EXPECT_EQ(form.ActivePageName(), "OthersSheet");
    form.btnPrevClick();
    EXPECT_EQ(form.ActivePageName(), "CommunicationSheet"); // Datalogging is hidden
    form.SelectPage(form.PageIndex("TotalSheet"));
    form.btnPrevClick();
    form.btnPrevClick();
    EXPECT_EQ(form.ActivePageName(), "ConfigurationSheet");
    form.btnPrevClick();
    EXPECT_EQ(form.ActivePageName(), "OthersSheet");

    // "Finish" on the Others page goes to HOME like "Next page" (once it is enabled).
    form.SetEnabled("btnLastPage", true);
    form.Click("btnLastPage");
    EXPECT_EQ(form.ActivePage(), 0);
}

TEST(Form, CreationWithoutASettingsFile) {
    Device device;
    Form form(device, "/nonexistent/vantrel.ini");
    int splash = 0, waited = 0, defaults = 0, finished = 0;
    std::string order;
    form.hooks.showSplash = [&] { order += "s"; ++splash; };
    form.hooks.portSetupDefaults = [&] { order += "d"; ++defaults; };
    form.hooks.waitSplash = [&] { order += "w"; ++waited; };
    form.hooks.portSetupFinish = [&] { order += "f"; ++finished; };
    form.FormCreate();
    EXPECT_EQ(order, "sdwf");
    EXPECT_TRUE(form.ShowPopups);
    EXPECT_EQ(device.SerialNumber, -1);
    EXPECT_EQ(form.ExpectedSerialNumber, -1);
    EXPECT_EQ(VisiblePages(form), "1");
    for (const char* on : {"ModelBox", "OfflineButton", "ConnectButton", "CommunicButton"})
        EXPECT_TRUE(form[on].enabled) << on;
    for (const char* off : {"LoadDefaultButton", "LoadConfigButton", "SaveConfigButtonNew",
                            "UploadButton", "DownloadButton", "RestartButton",
                            "FactoryResetButton", "LogdataButton"})
        EXPECT_FALSE(form[off].enabled) << off;
    EXPECT_FALSE(form["CommunicButton"].visible);
    EXPECT_EQ(form["ModelLabel"].text.substr(0, 40), "Please connect your device to the commun");
    EXPECT_EQ(form.statusPanels[0], " Current Device: no device detected");
    EXPECT_EQ(form.statusPanels[1], " Status: no device detected");
    EXPECT_EQ(form.statusPanels[2], "About...");
    EXPECT_EQ(form.versionText.rfind("Version: ", 0), 0u);
}

TEST(Form, ShowPopupsFromTheSettingsFile) {
    const std::pair<const char*, bool> cases[] = {
        {"[Popups]\nShow=0\n", false}, {"[popups]\n show = 1 \n", true},
        {"[Popups]\nShow=2\n", true},  {"[Popups]\nShow=no\n", false},
        {"[Modbus]\nShow=0\n", true},  {"", true},
    };
    for (auto [text, expected] : cases) {
        Device device;
        Form form(device, SettingsFile(text));
        EXPECT_EQ(form.ShowPopups, expected) << text;
    }
}

TEST(Form, StatusBarAboutPanel) {
    Device device;
    Form form(device, "");
    int shown = 0;
    form.hooks.showAbout = [&] { ++shown; };
    // "About..." is the last 74 pixels of the bar, never left of 670: (x, y, bar width, hot).
    const struct {
        int x, y, width;
        bool hot;
    } cases[] = {
        {669, 5, 744, false}, {670, 5, 744, true},   {743, 5, 744, true},
        {669, 5, 700, false}, {670, 5, 700, true},   {699, 5, 700, true},
        {700, 5, 700, false}, {725, 5, 800, false},  {726, 5, 800, true},
        {799, 5, 800, true},  {900, 5, 1040, false}, {966, 5, 1040, true},
        {726, 20, 800, false}, // below the bar
        {726, -1, 800, false},
    };
    for (const auto& c : cases) {
        form.StatusBar1MouseMove(c.x, c.y, c.width, 20);
        EXPECT_EQ(form.AboutHot, c.hot) << c.x << "," << c.y << " of " << c.width;
        const int before = shown;
        form.StatusBar1Click();
        EXPECT_EQ(shown, before + (c.hot ? 1 : 0));
    }
}

TEST(Form, ControlsHoldWhatTheirWidgetsWould) {
    Device device;
    Form form(device, "");
    int changes = 0;
    form.OnChange("TotalKFactorEdit", [&] { ++changes; });
    EXPECT_FALSE(form.KeyPress("TotalKFactorEdit", 'a'));
    EXPECT_TRUE(form.KeyPress("TotalKFactorEdit", '7'));
    EXPECT_TRUE(form.KeyPress("TotalKFactorEdit", '\b'));
    EXPECT_TRUE(form.KeyPress("OthersPasswordEdit", 'a'));
    EXPECT_FALSE(form.KeyPress("OthersModelEdit", 'a')); // read-only
    form.UserEdit("TotalKFactorEdit", "123456789");
    EXPECT_EQ(form["TotalKFactorEdit"].text, "1234567");
    form.SetText("TotalKFactorEdit", "1234567"); // no change, no event
    EXPECT_EQ(changes, 1);

    int exits = 0;
    form.OnExit("TotalKFactorEdit", [&] { ++exits; });
    form.SetFocus("TotalKFactorEdit");
    form.SetFocus("TotalASpanEdit");
    EXPECT_EQ(exits, 1) << "left after the text typed above";
    form.SetFocus("TotalKFactorEdit");
    form.SetFocus("TotalASpanEdit");
    EXPECT_EQ(exits, 1) << "left without an edit";
    form.SetFocus("TotalKFactorEdit");
    EXPECT_FALSE(form.KeyPress("TotalKFactorEdit", 'x'));
    form.SetFocus("TotalASpanEdit");
    EXPECT_EQ(exits, 1) << "a key the filter dropped";
    form.SetFocus("TotalKFactorEdit");
    EXPECT_TRUE(form.KeyPress("TotalKFactorEdit", '5'));
    form.SetFocus("TotalASpanEdit");
    EXPECT_EQ(exits, 2);

    form.Button13Click();
    EXPECT_EQ(form["CommunicAddressEdit"].text, "2");
    form.Button13Click();
    EXPECT_EQ(form["CommunicAddressEdit"].text, "1");

    // Every unit button has its tag; the hidden groups hold the stored choice.
    EXPECT_EQ(form["FlowrateUnitGroupBox"].items.size(), form["FlowrateUnitGroupBox"].tags.size());
    EXPECT_EQ(form["FlowmeterUnitGroupBox"].items.size(), 10u);
    EXPECT_FALSE(form["TotalUnitGroup"].visible);
    EXPECT_EQ(form["TotalAUnitGroup"].items[5], "ft³");
}
