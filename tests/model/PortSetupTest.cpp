// The port setup dialog as data, against a real worker whose ports are fakes or a
// pseudo-terminal.

#include "modbus/PortSetup.h"
#include "host/PlainHost.h"
#include "modbus/ModThread.h"
#include "tests/model/ModelSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace vantrel;
using modbus::ChangeColour;
using modbus::PortSetup;
using modbus::TModThread;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "/portsetup-" + std::to_string(::getpid()) + "-" + name;
}

// The file's text with its line ends as \n.
std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string lines = text.str();
    lines.erase(std::remove(lines.begin(), lines.end(), '\r'), lines.end());
    return lines;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

int IndexOf(const PortSetup& setup, const std::string& item) {
    const auto& items = setup.ComPortComboBox.items;
    auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

std::string Selected(const PortSetup& setup) {
    const auto& box = setup.ComPortComboBox;
    return box.index >= 0 && box.index < static_cast<int>(box.items.size()) ? box.items[box.index]
                                                                            : "(none)";
}

class PortSetupTest : public testing::Test {
protected:
    PortSetupTest() {
        WriteFile(plainFile, "not a tty");
        ports.Plug(1, "/nonexistent/ttyS0", "Serial port ttyS0");
        ports.Plug(3, plainFile, "FTDI FT232R USB UART");
        ports.Plug(12, pty.Path());
        worker.SetPortResolver([this](int n) { return ports.PathOf(n); });
        setup = std::make_unique<PortSetup>(ports, &worker);
    }
    // The worker as created, no port open; then a dialog bound to it.
    void Restart() {
        setup.reset();
        worker.ClosePort();
        worker.SetFraming(modbus::kFramingAscii);
        worker.SetSpeed(3);
        worker.SetDataBits(0);
        worker.SetParity(0);
        worker.SetStopBits(0);
        worker.SetRetries(3);
        worker.SetResponseTimeOut(500);
        worker.SetRtuTimeOut(0);
        setup = std::make_unique<PortSetup>(ports, &worker);
    }
    ~PortSetupTest() override {
        setup.reset();
        std::filesystem::remove(plainFile);
    }

    std::string plainFile = TempPath("plain");
    host::PlainHost host;
    test::Pty pty;
    test::FakePorts ports;
    TModThread worker{host, host};
    std::unique_ptr<PortSetup> setup;
};

} // namespace

TEST_F(PortSetupTest, CreationWithAndWithoutAWorker) {
    PortSetup bare(ports);
    EXPECT_EQ(bare.caption, "Vantrel - Port Setup");
    EXPECT_EQ(bare.ComPortComboBox.items.front(), "<< None selected >>");
    EXPECT_EQ(bare.ComPortComboBox.items.size(), 11u);
    EXPECT_EQ(bare.deviceNames.size(), 11u);
    EXPECT_EQ(bare.statusPanel, "Status: ");
    EXPECT_EQ(bare.settingsPanel, "Settings: ");
    EXPECT_EQ(bare.ComSpeedComboBox.items[bare.ComSpeedComboBox.index], "9600");
    EXPECT_EQ(bare.ComParityComboBox.items, (std::vector<std::string>{"None", "Even", "Odd"}));
    EXPECT_TRUE(bare.protocolRtu);
    EXPECT_TRUE(bare.showSlaveAddress);

    // Bound at creation: the list is read, the worker's settings pulled in (its framing is
    // ASCII until someone chooses), and the first look at the ports is no news.
    EXPECT_EQ(setup->ComPortComboBox.items,
              (std::vector<std::string>{"<< No port selected >>", "COM1", "COM3", "COM12"}));
    EXPECT_EQ(setup->ComPortComboBox.index, 0);
    EXPECT_EQ(setup->deviceNames,
              (std::vector<std::string>{"", "/nonexistent/ttyS0 (Serial port ttyS0)",
                                        plainFile + " (FTDI FT232R USB UART)", pty.Path()}));
    EXPECT_EQ(setup->ComportChanged, "");
    EXPECT_EQ(setup->changedColour, ChangeColour::Window);
    EXPECT_FALSE(setup->protocolRtu);
    EXPECT_EQ(setup->statusPanel, "Status: Not connected.");
    EXPECT_EQ(setup->settingsPanel, "Settings: 9600,N,8,1");
}

TEST_F(PortSetupTest, StatusPanelsFollowThePortAndTheLine) {
    // Without a worker every control still works; nothing reaches a worker.
    PortSetup bare(ports);
    bare.ConnectButtonClick();
    bare.ComSpeedComboBoxSelect(5);
    EXPECT_EQ(bare.ComSpeedComboBox.index, 5);
    EXPECT_EQ(bare.statusPanel, "Status: No Modbus thread.");
    EXPECT_EQ(bare.settingsPanel, "Settings: No Modbus thread.");

    struct Step {
        const char* name;
        std::function<void(PortSetup&)> act;
        std::string status;
        const char* settings;
        std::string selected;
        std::string openError; // "" when the last open worked or none was tried
    };
    const Step steps[] = {
        {"line settings chosen",
         [](PortSetup& s) {
             s.ComSpeedComboBoxSelect(5);
             s.ComParityComboBoxSelect(1);
             s.ComDatabitsComboBoxSelect(1);
             s.ComStopbitsComboBoxSelect(1);
         },
         "Status: Not connected.", "Settings: 19200,E,7,2", "<< No port selected >>", ""},
        {"port chosen", [](PortSetup& s) { s.ComPortComboBoxSelect(IndexOf(s, "COM12")); },
         "Status: Connected.", "Settings: 19200,E,7,2", "COM12", ""},
        {"released", [](PortSetup& s) { s.ReleaseButtonClick(); }, "Status: Not connected.",
         "Settings: 19200,E,7,2", "COM12", ""},
        {"connected again", [](PortSetup& s) { s.ConnectButtonClick(); }, "Status: Connected.",
         "Settings: 19200,E,7,2", "COM12", ""},
        {"no port selected", [](PortSetup& s) { s.ComPortComboBoxSelect(0); },
         "Status: Not connected.", "Settings: 19200,E,7,2", "<< No port selected >>", ""},
        // The status says why a port did not open.
        {"not a tty", [](PortSetup& s) { s.ComPortComboBoxSelect(IndexOf(s, "COM3")); },
         "Status: Not connected. " + plainFile + " is not a serial port.", "Settings: 19200,E,7,2",
         "COM3", plainFile + " is not a serial port."},
        {"device gone", [](PortSetup& s) { s.SelectPort(1); },
         "Status: Not connected. /nonexistent/ttyS0 is not present (is the converter plugged in?).",
         "Settings: 19200,E,7,2", "COM1",
         "/nonexistent/ttyS0 is not present (is the converter plugged in?)."},
        {"listed but absent",
         [](PortSetup& s) {
             s.AllPortsCheckBoxClick(true);
             s.ComPortComboBoxDropDown();
             s.ComPortComboBoxSelect(IndexOf(s, "COM9"));
         },
         "Status: Not connected. COM9 is not present.", "Settings: 19200,E,7,2", "COM9",
         "COM9 is not present."},
    };
    // The user's own pick of a port that does not open is told as a message too.
    std::vector<std::string> told;
    setup->openFailed = [&told](const std::string& reason) { told.push_back(reason); };
    for (const Step& step : steps) {
        step.act(*setup);
        EXPECT_EQ(setup->statusPanel, step.status) << step.name;
        EXPECT_EQ(setup->settingsPanel, step.settings) << step.name;
        EXPECT_EQ(Selected(*setup), step.selected) << step.name;
        EXPECT_EQ(setup->lastOpenError, step.openError) << step.name;
        EXPECT_EQ(worker.IsPortOpen(), step.status == "Status: Connected.") << step.name;
    }
    // The picks in the list that failed; a program step (SelectPort) says it in the status only.
    EXPECT_EQ(told, (std::vector<std::string>{plainFile + " is not a serial port.",
                                              "COM9 is not present."}));
}

TEST_F(PortSetupTest, PortNumberOfTheSelection) {
    struct Case {
        std::vector<std::string> items;
        int index;
        int number;
        int indexAfter;
    };
    const Case cases[] = {
        {{"<< No port selected >>", "COM7"}, 1, 7, 1},
        {{"<< No port selected >>", "COM255"}, 1, 255, 1},
        {{"<< No port selected >>", "COM7"}, 0, 0, 0},
        {{"<< No port selected >>", "COM7"}, -1, 0, 0},  // nothing selected: the first item
        {{"<< No port selected >>", "COM256"}, 1, 0, 0}, // out of range
        {{"<< No port selected >>", "COMX"}, 1, 0, 0},   // not a number
        {{"<< No port selected >>", "COM"}, 1, 0, 0},
        {{}, -1, 0, -1},
    };
    for (const Case& c : cases) {
        setup->ComPortComboBox = {c.items, c.index};
        const std::string label = c.items.empty() ? "empty" : c.items.back();
        EXPECT_EQ(setup->GetPortNumber(), c.number) << label << " at " << c.index;
        EXPECT_EQ(setup->ComPortComboBox.index, c.indexAfter) << label << " at " << c.index;
    }
}

TEST_F(PortSetupTest, PortListChangesAreReported) {
    setup->SelectPort(3);
    struct Step {
        const char* name;
        std::function<void()> act;
        const char* message;
        ChangeColour colour;
        size_t items;
        const char* selected;
    };
    const Step steps[] = {
        {"converter plugged in", [&] { ports.Plug(4, "/dev/ttyUSB1"); }, " New port found: COM4",
         ChangeColour::NewPort, 5, "COM3"},
        {"nothing changed", [] {}, " New port found: COM4", ChangeColour::NewPort, 5, "COM3"},
        // Two ports went: the highest number tells.
        {"two unplugged",
         [&] {
             ports.Unplug(1);
             ports.Unplug(4);
         },
         " Port removed: COM4", ChangeColour::Removed, 3, "COM3"},
        {"selected one unplugged", [&] { ports.Forget(3); }, " Port removed: COM3",
         ChangeColour::Removed, 2, "<< No port selected >>"},
        // Every number is listed now, but only real changes are news.
        {"show all", [&] { setup->AllPortsCheckBoxClick(true); }, " Port removed: COM3",
         ChangeColour::Removed, 256, "<< No port selected >>"},
        {"plugged in while all shown", [&] { ports.Plug(200, "/dev/ttyACM0"); },
         " New port found: COM200", ChangeColour::NewPort, 256, "<< No port selected >>"},
    };
    for (const Step& step : steps) {
        step.act();
        setup->ComPortComboBoxDropDown();
        EXPECT_EQ(setup->ComportChanged, step.message) << step.name;
        EXPECT_EQ(setup->changedColour, step.colour) << step.name;
        EXPECT_EQ(setup->ComPortComboBox.items.size(), step.items) << step.name;
        EXPECT_EQ(setup->deviceNames.size(), step.items) << step.name;
        EXPECT_EQ(Selected(*setup), step.selected) << step.name;
    }
    EXPECT_EQ(setup->ComPortComboBox.items[3], "COM3");
    // "show all" helps: a known port that is away says so, a number without a device says how
    // to give it one.
    EXPECT_EQ(setup->deviceNames[3], plainFile + " (not connected)");
    EXPECT_EQ(setup->ComPortComboBox.items[255], "COM255");
    EXPECT_EQ(setup->deviceNames[255],
              "no device: add a line COM255=/dev/... to [Ports] of the settings file");
    EXPECT_EQ(setup->deviceNames[200], "/dev/ttyACM0");
}

TEST_F(PortSetupTest, AConverterThatComesBackUnderItsNumberIsSelectedAgain) {
    setup->SelectPort(12);
    ASSERT_TRUE(worker.IsPortOpen());
    // Unplugged: the worker has let the port go and the list no longer has it.
    worker.ClosePort();
    ports.Unplug(12);
    setup->ComPortComboBoxDropDown();
    EXPECT_EQ(Selected(*setup), "<< No port selected >>");
    EXPECT_EQ(setup->ComportChanged, " Port removed: COM12");
    // The user's choice is not lost from the settings meanwhile.
    const std::string file = TempPath("kept.ini");
    WriteFile(file, "[Modbus]\r\n");
    ASSERT_TRUE(setup->SaveSettings(file)) << setup->lastFileError;
    EXPECT_NE(ReadFile(file).find("Port=COM12\n"), std::string::npos) << ReadFile(file);
    std::filesystem::remove(file);

    // Plugged in again under the same name: selected and opened without a word from the user.
    ports.Plug(12, pty.Path());
    setup->ComPortComboBoxDropDown();
    EXPECT_EQ(Selected(*setup), "COM12");
    EXPECT_TRUE(worker.IsPortOpen());
    EXPECT_EQ(worker.PortNumber(), 12);

    // Another port chosen while one is away: that choice stands.
    worker.ClosePort();
    ports.Unplug(12);
    setup->ComPortComboBoxDropDown();
    setup->ComPortComboBoxSelect(IndexOf(*setup, "COM3"));
    ports.Plug(12, pty.Path());
    setup->ComPortComboBoxDropDown();
    EXPECT_EQ(Selected(*setup), "COM3");
}

TEST_F(PortSetupTest, EditsTheirUpDownsAndTheKeyFilter) {
    using Edit = modbus::UpDownEdit PortSetup::*;
    struct Case {
        const char* name;
        Edit edit;
        std::function<void(PortSetup&)> act;
        const char* text;
        int value;
        const char* textAfterExit;
        int worker; // the worker's copy, -1 where there is none
    };
    const Case cases[] = {
        {"slave address 0", &PortSetup::BusAddress,
         [](PortSetup& s) { s.BusAddressEditChange("0"); }, "0", 1, "1", -1},
        {"slave address 300", &PortSetup::BusAddress,
         [](PortSetup& s) { s.BusAddressEditChange("300"); }, "300", 255, "255", -1},
        {"time-out 99999", &PortSetup::Response,
         [](PortSetup& s) { s.ResponseEditChange("99999"); }, "9999", 9999, "9999", 9999},
        {"time-out emptied", &PortSetup::Response, [](PortSetup& s) { s.ResponseEditChange(""); },
         "", 500, "500", 500},
        {"time-out pasted text", &PortSetup::Response,
         [](PortSetup& s) { s.ResponseEditChange("12a"); }, "12a", 500, "500", 500},
        {"time-out up-down", &PortSetup::Response, [](PortSetup& s) { s.ResponseUpDownClick(750); },
         "750", 750, "750", 750},
        {"RTU time-out 0", &PortSetup::Rtu, [](PortSetup& s) { s.RTUEditChange("0"); }, "0", 0, "0",
         0},
        {"RTU time-out up-down past the top", &PortSetup::Rtu,
         [](PortSetup& s) { s.RTUUpDownClick(10000); }, "9999", 9999, "9999", 9999},
        {"tries up-down past the top", &PortSetup::Retries,
         [](PortSetup& s) { s.RetriesUpDownClick(11); }, "10", 10, "10", 10},
        {"tries up-down to the bottom", &PortSetup::Retries,
         [](PortSetup& s) { s.RetriesUpDownClick(0); }, "1", 1, "1", 1},
    };
    for (const Case& c : cases) {
        Restart();
        c.act(*setup);
        const modbus::UpDownEdit& edit = (*setup).*c.edit;
        EXPECT_EQ(edit.text, c.text) << c.name;
        EXPECT_EQ(edit.value, c.value) << c.name;
        int copy = -1;
        if (c.edit == &PortSetup::Response)
            copy = worker.TimeOut();
        else if (c.edit == &PortSetup::Rtu)
            copy = worker.RtuTimeOut();
        else if (c.edit == &PortSetup::Retries)
            copy = worker.Retries();
        EXPECT_EQ(copy, c.worker) << c.name;
        setup->BusAddressEditExit();
        setup->ResponseEditExit();
        setup->RTUEditExit();
        setup->RetriesEditExit();
        EXPECT_EQ(edit.text, c.textAfterExit) << c.name;
        EXPECT_EQ(edit.value, c.value) << c.name;
    }
    EXPECT_EQ(setup->Response.maxLength, 4u);
    EXPECT_TRUE(setup->Retries.readOnly);

    struct Key {
        char key;
        bool passes;
    };
    const Key keys[] = {{'0', true},   {'5', true},  {'9', true},  {'\b', true},
                        {'a', false},  {'-', false}, {'+', false}, {' ', false},
                        {'\r', false}, {'/', false}, {':', false}, {'\0', false}};
    for (const Key& k : keys)
        EXPECT_EQ(PortSetup::CheckKeyPress(k.key), k.passes) << static_cast<int>(k.key);
}

TEST_F(PortSetupTest, LockedSettingsRefuseProgramsButNotTheUser) {
    setup->SelectPort(12);
    ASSERT_TRUE(worker.IsPortOpen());
    setup->LockCheckBoxClick(true);
    const std::string file = TempPath("locked.ini");
    WriteFile(file, "[Modbus]\nPort=COM1\nProtocol=RTU\nSpeed=19200\nDatabits=7 bits\n"
                    "Parity=Odd\nStopbits=2 bits\nRetries=5\nTimeOut=900\nRTUTimeOut=30\n");

    auto snapshot = [&] {
        std::ostringstream out;
        out << Selected(*setup) << worker.PortNumber() << worker.IsPortOpen() << "|"
            << setup->ComSpeedComboBox.index << setup->ComDatabitsComboBox.index
            << setup->ComParityComboBox.index << setup->ComStopbitsComboBox.index
            << setup->protocolRtu << "|" << setup->Retries.text << setup->Response.text
            << setup->Rtu.text << "|" << worker.ModeString() << worker.Framing() << worker.Retries()
            << worker.TimeOut() << worker.RtuTimeOut();
        return out.str();
    };
    const std::string before = snapshot();
    const std::pair<const char*, std::function<void()>> programmatic[] = {
        {"load", [&] { setup->LoadSettings(file); }},
        {"port", [&] { setup->SelectPort(0); }},
        {"speed", [&] { setup->SelectSpeedIndex(5); }},
        {"data bits", [&] { setup->SelectDataBitsIndex(1); }},
        {"parity", [&] { setup->SelectParityIndex(2); }},
        {"stop bits", [&] { setup->SelectStopBitsIndex(1); }},
        {"protocol", [&] { setup->SelectProtocol(1); }},
        {"tries", [&] { setup->SetRetriesValue(1); }},
        {"time-out", [&] { setup->SetResponseTimeOutValue(100); }},
        {"RTU time-out", [&] { setup->SetRtuTimeOutValue(20); }},
    };
    for (const auto& [name, act] : programmatic) {
        act();
        EXPECT_EQ(snapshot(), before) << name;
    }

    // The user still changes every control by hand.
    setup->ComSpeedComboBoxSelect(5);
    setup->ComParityComboBoxSelect(2);
    setup->ProtocolRTURadioClick();
    setup->RetriesUpDownClick(1);
    setup->ResponseEditChange("100");
    EXPECT_EQ(worker.ModeString(), "19200,O,8,1");
    EXPECT_EQ(worker.Framing(), modbus::kFramingRtu);
    EXPECT_EQ(worker.Retries(), 1);
    EXPECT_EQ(worker.TimeOut(), 100);
    setup->ComPortComboBoxSelect(0);
    EXPECT_FALSE(worker.IsPortOpen());
    // The slave address is not a locked setting.
    setup->SetSlaveAddress(17);
    EXPECT_EQ(setup->GetSlaveAddress(), 17);
    std::filesystem::remove(file);
}

TEST_F(PortSetupTest, LoadingTheBusSettings) {
    struct Expect {
        std::string port;
        bool open;
        std::string mode;
        int framing;
        int retries, timeOut, rtuTimeOut;
    };
    struct Case {
        const char* name;
        const char* before; // loaded first
        const char* file;
        Expect expect;
    };
    const Expect defaults{"<< No port selected >>", false, "9600,N,8,1", 0, 3, 500, 0};
    const Case cases[] = {
        {"no section", "", "[Popups]\nShow=0\n", defaults},
        {"speed and parity without case",
         "",
         "[Modbus]\nSpeed=2400\nParity=even\n",
         {"<< No port selected >>", false, "2400,E,8,1", 0, 3, 500, 0}},
        {"unknown speed", "[Modbus]\nSpeed=19200\n", "[Modbus]\nSpeed=300\nParity=nonsense\n",
         defaults},
        {"bits without case",
         "",
         "[Modbus]\nSpeed=115200\nDatabits=7 BITS\nStopbits=2 Bits\nParity=ODD\n",
         {"<< No port selected >>", false, "115200,O,7,2", 0, 3, 500, 0}},
        {"port present", "", "[Modbus]\nPort=COM12\n", {"COM12", true, "9600,N,8,1", 0, 3, 500, 0}},
        {"port without COM", "[Modbus]\nPort=COM12\n", "[Modbus]\nPort=12\n", defaults},
        {"port not listed",
         "[Modbus]\nPort=COM12\n",
         "[Modbus]\nPort=com77\n",
         {"COM12", true, "9600,N,8,1", 0, 3, 500, 0}},
        {"protocol without case",
         "",
         "[Modbus]\nProtocol=rtu\n",
         {"<< No port selected >>", false, "9600,N,8,1", 1, 3, 500, 0}},
        {"protocol unknown", "[Modbus]\nProtocol=RTU\n", "[Modbus]\nProtocol=Binary\n", defaults},
        {"numbers in range",
         "",
         "[Modbus]\nRetries=10\nTimeOut=1\nRTUTimeOut=9999\n",
         {"<< No port selected >>", false, "9600,N,8,1", 0, 10, 1, 9999}},
        {"numbers below range",
         "[Modbus]\nRetries=7\n",
         "[Modbus]\nRetries=0\nTimeOut=0\nRTUTimeOut=-1\n",
         {"<< No port selected >>", false, "9600,N,8,1", 0, 7, 500, 0}},
        {"numbers above range",
         "[Modbus]\nRTUTimeOut=20\n",
         "[Modbus]\nRetries=11\nTimeOut=10000\nRTUTimeOut=10000\n",
         {"<< No port selected >>", false, "9600,N,8,1", 0, 3, 500, 20}},
        {"numbers not numbers", "", "[Modbus]\nRetries=three\nTimeOut=\n", defaults},
    };
    const std::string file = TempPath("load.ini");
    for (const Case& c : cases) {
        Restart();
        if (*c.before) {
            WriteFile(file, c.before);
            ASSERT_TRUE(setup->LoadSettings(file)) << c.name;
        }
        WriteFile(file, c.file);
        ASSERT_TRUE(setup->LoadSettings(file)) << c.name;
        const Expect& e = c.expect;
        EXPECT_EQ(Selected(*setup), e.port) << c.name;
        EXPECT_EQ(worker.IsPortOpen(), e.open) << c.name;
        EXPECT_EQ(worker.ModeString(), e.mode) << c.name;
        EXPECT_EQ(setup->settingsPanel, "Settings: " + e.mode) << c.name;
        EXPECT_EQ(worker.Framing(), e.framing) << c.name;
        EXPECT_EQ(setup->GetProtocol(), e.framing) << c.name;
        EXPECT_EQ(worker.Retries(), e.retries) << c.name;
        EXPECT_EQ(setup->Retries.text, std::to_string(e.retries)) << c.name;
        EXPECT_EQ(worker.TimeOut(), e.timeOut) << c.name;
        EXPECT_EQ(setup->Response.text, std::to_string(e.timeOut)) << c.name;
        EXPECT_EQ(worker.RtuTimeOut(), e.rtuTimeOut) << c.name;
        EXPECT_EQ(setup->Rtu.text, std::to_string(e.rtuTimeOut)) << c.name;
    }
    std::filesystem::remove(file);

    // A file that cannot be read changes nothing and says why.
    EXPECT_FALSE(setup->LoadSettings(testing::TempDir()));
    EXPECT_FALSE(setup->lastFileError.empty());
}

TEST_F(PortSetupTest, SavingTheBusSettings) {
    struct Case {
        const char* name;
        std::function<void(PortSetup&)> act;
        const char* keys; // the [Modbus] section as written
    };
    const Case cases[] = {
        {"no port selected", [](PortSetup&) {},
         "Port=COM1\nProtocol=ASCII\nSpeed=9600\nDatabits=8 bits\nParity=None\n"
         "Stopbits=1 bit\nRetries=3\nTimeOut=500\nRTUTimeOut=0\n"},
        {"everything chosen",
         [](PortSetup& s) {
             s.SelectPort(12);
             s.ProtocolRTURadioClick();
             s.ComSpeedComboBoxSelect(8);
             s.ComDatabitsComboBoxSelect(1);
             s.ComParityComboBoxSelect(2);
             s.ComStopbitsComboBoxSelect(1);
             s.RetriesUpDownClick(10);
             s.ResponseEditChange("9999");
             s.RTUEditChange("20");
         },
         "Port=COM12\nProtocol=RTU\nSpeed=115200\nDatabits=7 bits\nParity=Odd\n"
         "Stopbits=2 bits\nRetries=10\nTimeOut=9999\nRTUTimeOut=20\n"},
        // An edit left with a number out of range is saved as its up-down holds it.
        {"edit not yet left", [](PortSetup& s) { s.ResponseEditChange("0"); },
         "Port=COM1\nProtocol=ASCII\nSpeed=9600\nDatabits=8 bits\nParity=None\n"
         "Stopbits=1 bit\nRetries=3\nTimeOut=1\nRTUTimeOut=0\n"},
    };
    const std::string file = TempPath("save.ini");
    const std::string others = "; kept\n[Popups]\nShow=0\n[Ports]\nCOM12=" + pty.Path() + "\n";
    for (const Case& c : cases) {
        Restart();
        WriteFile(file, others + "[Modbus]\nPort=COM5\nShowAll=1\n");
        c.act(*setup);
        ASSERT_TRUE(setup->SaveSettings(file)) << setup->lastFileError;
        const IniFile saved = IniFile::FromText(ReadFile(file));
        const IniFile expected = IniFile::FromText(std::string("[Modbus]\n") + c.keys);
        for (const std::string& key : expected.Keys("Modbus"))
            EXPECT_EQ(saved.Get("Modbus", key), expected.Get("Modbus", key))
                << c.name << ": " << key;
        EXPECT_EQ(ReadFile(file).substr(0, others.size()), others) << c.name;
        EXPECT_EQ(saved.Get("Modbus", "ShowAll"), "1") << c.name;

        // What was saved loads back into a fresh dialog as it was.
        PortSetup other(ports, &worker);
        ASSERT_TRUE(other.LoadSettings(file));
        IniFile again;
        other.SaveSettings(again);
        for (const std::string& key : expected.Keys("Modbus"))
            EXPECT_EQ(again.Get("Modbus", key), expected.Get("Modbus", key))
                << c.name << " reloaded: " << key;
    }
    std::filesystem::remove(file);

    const std::string nowhere = TempPath("missing-dir") + "/vantrel.ini";
    EXPECT_FALSE(setup->SaveSettings(nowhere));
    EXPECT_FALSE(setup->lastFileError.empty());
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST_F(PortSetupTest, SlaveAddressAndNotifications) {
    int notified = 0;
    setup->changed = [&] { ++notified; };
    struct Case {
        const char* name;
        std::function<void(PortSetup&)> act;
        int address;
        bool visible;
        int notifications;
    };
    const Case cases[] = {
        {"set", [](PortSetup& s) { s.SetSlaveAddress(247); }, 247, true, 1},
        {"zero ignored", [](PortSetup& s) { s.SetSlaveAddress(0); }, 247, true, 0},
        {"beyond the range", [](PortSetup& s) { s.SetSlaveAddress(300); }, 255, true, 1},
        {"hidden", [](PortSetup& s) { s.ShowSlaveAddress(false); }, 255, false, 1},
        {"up-down", [](PortSetup& s) { s.BusAddressUpDownClick(2); }, 2, false, 1},
        // A whole refresh is one notification; a getter that changes nothing is none.
        {"refresh", [](PortSetup& s) { s.RefreshFromWorker(); }, 2, false, 1},
        {"getter", [](PortSetup& s) { s.GetPortNumber(); }, 2, false, 0},
    };
    for (const Case& c : cases) {
        notified = 0;
        c.act(*setup);
        EXPECT_EQ(setup->GetSlaveAddress(), c.address) << c.name;
        EXPECT_EQ(setup->BusAddress.text, std::to_string(c.address)) << c.name;
        EXPECT_EQ(setup->BusAddress.visible, c.visible) << c.name;
        EXPECT_EQ(setup->showSlaveAddress, c.visible) << c.name;
        EXPECT_EQ(notified, c.notifications) << c.name;
    }
}

TEST(PlaceDialog, BesideTheReferenceWindowOrAtTheLeftEdge) {
    using modbus::WindowPos;
    struct Case {
        const char* name;
        modbus::WindowRect reference;
        bool active;
        int screenWidth;
        WindowPos dialog;
        std::optional<WindowPos> moveActive;
    };
    const modbus::WindowSize size{300, 520};
    const Case cases[] = {
        {"room on the left", {400, 100, 800, 600}, true, 1920, {100, 140}, std::nullopt},
        {"exactly fits", {300, 0, 800, 520}, true, 1920, {0, 0}, std::nullopt},
        {"no room, active moves", {100, 50, 800, 600}, true, 1920, {0, 90}, WindowPos{300, 50}},
        {"no room, screen too narrow", {100, 50, 800, 600}, true, 1100, {0, 90}, std::nullopt},
        {"no room, screen one wider", {100, 50, 800, 600}, true, 1101, {0, 90}, WindowPos{300, 50}},
        {"no room, no active window", {100, 50, 800, 600}, false, 1920, {0, 90}, std::nullopt},
        // Centring truncates towards zero; a reference shorter than the dialog lifts it.
        {"odd difference", {400, 10, 800, 525}, true, 1920, {100, 12}, std::nullopt},
        {"reference shorter than the dialog",
         {400, 10, 800, 201},
         true,
         1920,
         {100, -149},
         std::nullopt},
    };
    for (const Case& c : cases) {
        const modbus::Placement p = modbus::PlaceDialog(c.reference, size, c.screenWidth, c.active);
        EXPECT_EQ(p.dialogPos, c.dialog) << c.name;
        EXPECT_EQ(p.moveActiveWindowTo, c.moveActive) << c.name;
    }
}
