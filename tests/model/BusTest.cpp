// The bus component as data: panels, lamp, slave address, the dialog it offers, and the
// whole bus against the simulated unit.

#include "modbus/Bus.h"
#include "host/PlainHost.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/model/ModelSupport.h"

#include <gtest/gtest.h>

using namespace vantrel;
using modbus::TModbus;
using Lamp = TModbus::Lamp;

namespace {

const char* LampName(Lamp lamp) {
    switch (lamp) {
    case Lamp::Black:
        return "black";
    case Lamp::Green:
        return "green";
    case Lamp::Yellow:
        return "yellow";
    case Lamp::Red:
        return "red";
    }
    return "?";
}

using Panels = std::array<std::string, 4>;

} // namespace

TEST(Bus, PanelsAddressAndTheDialog) {
    host::PlainHost host;
    test::FakePorts ports;
    TModbus bus(host, host, ports);
    ASSERT_NE(bus.ModThread(), nullptr);
    ASSERT_NE(bus.ModConfigForm(), nullptr);
    EXPECT_EQ(bus.ModConfigForm()->Worker(), bus.ModThread());
    EXPECT_EQ(bus.ModThread()->Bus(), &bus);

    // As the main window's form leaves them, until the worker says otherwise.
    EXPECT_EQ(bus.panels, (Panels{"StatusLed", "1", "Quenlo Idle", "Last Result: none"}));
    EXPECT_EQ(bus.panelWidths, (std::array<int, 4>{19, 40, 200, 50}));
    int repaints = 0;
    bus.changed = [&] { ++repaints; };
    bus.UpdateStatusBar();
    EXPECT_EQ(bus.panels, (Panels{"0", "0", "Quenlo: Port not opened", "Last Result: None"}));
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(TModbus::PanelTexts(nullptr),
              (Panels{"0", "0", "Quenlo Not Avaliable", "Last Result: None"}));
    EXPECT_EQ(bus.LampColour(), Lamp::Black);

    // Properties as the main window sets them.
    EXPECT_FALSE(bus.ModConfigForm()->BusAddress.visible);
    bus.SetShowAddress(true);
    EXPECT_TRUE(bus.ModConfigForm()->BusAddress.visible);
    struct Address {
        uint8_t set;
        uint8_t got;
    };
    for (const Address a : {Address{1, 1}, Address{0, 1}, Address{247, 247}, Address{0, 247}}) {
        bus.SetBusAddress(a.set);
        EXPECT_EQ(bus.GetBusAddress(), a.got) << int(a.set);
        EXPECT_EQ(bus.BusAddress(), a.got) << int(a.set);
    }
    bus.SetMemoRemember(true);
    EXPECT_TRUE(bus.MemoRemember());
    // With no port to be found, AutoPort leaves the port closed.
    bus.SetAutoPort(true);
    EXPECT_FALSE(bus.ModThread()->IsPortOpen());
    EXPECT_EQ(bus.ModConfigForm()->statusPanel, "Status: Not connected.");

    // The first click shows the dialog, a second one asks the face to bring it forward.
    int raised = 0;
    bus.raiseSetup = [&] { ++raised; };
    bus.ModbusSetupClick();
    EXPECT_TRUE(bus.ModConfigForm()->visible);
    EXPECT_EQ(bus.ModConfigForm()->focusedControl, "CloseButton");
    EXPECT_FALSE(bus.raiseRequested);
    EXPECT_EQ(raised, 0);
    bus.ModbusSetupClick();
    EXPECT_TRUE(bus.raiseRequested);
    EXPECT_EQ(raised, 1);
    bus.ModConfigForm()->CloseButtonClick();
    EXPECT_FALSE(bus.ModConfigForm()->visible);
}

TEST(Bus, LampColourAndImages) {
    struct Rule {
        bool worker;
        int state;
        int result;
        Lamp lamp;
    };
    const Rule rules[] = {
        {false, modbus::Idle, modbus::Success, Lamp::Black},
        {true, modbus::PortClosed, modbus::Success, Lamp::Black},
        {true, modbus::PortClosed, modbus::ResponseTimedOut, Lamp::Black},
        {true, modbus::Sending, modbus::ResponseTimedOut, Lamp::Yellow},
        {true, modbus::Receiving, modbus::Success, Lamp::Yellow},
        {true, modbus::Idle, modbus::None, Lamp::Green},
        {true, modbus::Idle, modbus::Success, Lamp::Green},
        {true, modbus::Received, modbus::Success, Lamp::Green},
        {true, modbus::Idle, modbus::ResponseTimedOut, Lamp::Red},
        {true, modbus::Idle, modbus::ReadingNotPossible, Lamp::Red},
        {true, modbus::NoResponse, modbus::Aborted, Lamp::Red},
        {true, modbus::Idle, modbus::InvalidRequest, Lamp::Red},
    };
    for (const Rule& r : rules)
        EXPECT_EQ(TModbus::LampColourFor(r.worker, r.state, r.result), r.lamp)
            << r.worker << " " << r.state << " " << r.result;

    struct Image {
        Lamp lamp;
        int images;
        int index; // -1: the circle
    };
    const Image images[] = {
        {Lamp::Black, 4, 0},  {Lamp::Green, 4, 1}, {Lamp::Yellow, 4, 2}, {Lamp::Red, 4, 3},
        {Lamp::Yellow, 3, 2}, {Lamp::Red, 3, -1},  {Lamp::Black, 1, 0},  {Lamp::Green, 1, -1},
        {Lamp::Black, 0, -1}, {Lamp::Red, 8, 3},
    };
    for (const Image& i : images)
        EXPECT_EQ(TModbus::LampImageIndex(i.lamp, i.images), i.index)
            << LampName(i.lamp) << " of " << i.images;

    struct Geometry {
        modbus::PanelRect panel;
        modbus::LampCircle circle;
        modbus::LampImagePos image; // a 16 x 16 image
    };
    const Geometry geometry[] = {
        {{0, 0, 19, 20}, {5, 4, 17, 16}, {1, 2}},
        {{2, 3, 21, 22}, {7, 6, 19, 18}, {3, 4}},
        {{100, 4, 119, 21}, {105, 6, 117, 18}, {101, 4}},
        {{0, 0, 10, 10}, {1, -1, 13, 11}, {-3, -3}}, // a panel smaller than the image
    };
    for (const Geometry& g : geometry) {
        EXPECT_EQ(TModbus::LampCircleIn(g.panel), g.circle) << g.panel.left << "," << g.panel.top;
        EXPECT_EQ(TModbus::LampImageIn(g.panel, 16, 16), g.image)
            << g.panel.left << "," << g.panel.top;
    }
}

TEST(Bus, AutoPortOpensTheFirstPortAndEndingClosesIt) {
    host::PlainHost host;
    test::Pty pty;
    test::FakePorts ports;
    ports.Plug(2, pty.Path());
    ports.Plug(3, "/nonexistent/ttyUSB0");
    {
        TModbus bus(host, host, ports);
        bus.SetAutoPort(true);
        EXPECT_TRUE(bus.ModThread()->IsPortOpen());
        EXPECT_EQ(bus.ModThread()->PortNumber(), 2);
        EXPECT_EQ(
            bus.ModConfigForm()->ComPortComboBox.items[bus.ModConfigForm()->ComPortComboBox.index],
            "COM2");
        EXPECT_EQ(bus.ModConfigForm()->statusPanel, "Status: Connected.");
        // The worker's state changes reached the panels through the status callback.
        EXPECT_EQ(bus.panels, (Panels{"1", "0", "Quenlo: Idle", "Last Result: None"}));
        EXPECT_EQ(bus.LampColour(), Lamp::Green);
    }
    // The port was let go: a second bus can have it.
    TModbus again(host, host, ports);
    again.ModConfigForm()->SelectPort(2);
    EXPECT_EQ(again.ModConfigForm()->lastOpenError, "");
    EXPECT_TRUE(again.ModThread()->IsPortOpen());

    TModbus third(host, host, ports);
    third.ModConfigForm()->SelectPort(2);
    EXPECT_FALSE(third.ModThread()->IsPortOpen());
    EXPECT_EQ(third.ModConfigForm()->lastOpenError, pty.Path() + " is in use by another program.");
    EXPECT_EQ(third.ModConfigForm()->statusPanel,
              "Status: Not connected. " + pty.Path() + " is in use by another program.");
}

TEST(Bus, ConnectThroughTheDialogToTheSimulatedUnit) {
    host::PlainHost host;
    sim::SimUnit unit;
    sim::LinkOptions options;
    options.paced = false;
    options.turnaround = {};
    sim::SimLink link(unit, options);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;
    test::FakePorts ports;
    ports.Plug(1, link.SlavePath());

    TModbus bus(host, host, ports);
    modbus::PortSetup& setup = *bus.ModConfigForm();
    std::vector<Lamp> lamps;
    bus.changed = [&] { lamps.push_back(bus.LampColour()); };

    setup.ComPortComboBoxDropDown();
    setup.ComPortComboBoxSelect(1);
    ASSERT_EQ(setup.ComPortComboBox.items[1], "COM1");
    EXPECT_EQ(setup.statusPanel, "Status: Connected.");
    EXPECT_EQ(setup.settingsPanel, "Settings: 9600,N,8,1");
    setup.ProtocolRTURadioClick();
    setup.RTUEditChange("20");
    setup.ResponseEditChange("100");

    auto read = [&] {
        uint8_t value[3] = {};
        return bus.ModThread()->ReadRegisters(value, bus.GetBusAddress(), 165, 3);
    };
    struct Step {
        const char* name;
        std::function<void()> before;
        int result;
        Panels panels;
        Lamp lamp;
    };
    const Step steps[] = {
        {"success", [] {}, 0, {"1", "1", "Quenlo: Idle", "Last Result: Success"}, Lamp::Green},
        {"silent unit",
         [&] {
             link.InjectFault({sim::FaultKind::Silence, sim::kAlways});
             setup.RetriesUpDownClick(2);
         },
         2,
         {"1", "2", "Quenlo: Idle", "Last Result: Response Timed Out"},
         Lamp::Red},
        {"answers again",
         [&] { link.ClearFaults(); },
         0,
         {"1", "1", "Quenlo: Idle", "Last Result: Success"},
         Lamp::Green},
        {"another slave address",
         [&] { bus.SetBusAddress(9); },
         2,
         {"1", "2", "Quenlo: Idle", "Last Result: Response Timed Out"},
         Lamp::Red},
    };
    for (const Step& step : steps) {
        step.before();
        lamps.clear();
        EXPECT_EQ(read(), step.result) << step.name;
        EXPECT_EQ(bus.panels, step.panels) << step.name;
        EXPECT_EQ(bus.LampColour(), step.lamp) << step.name;
        // The lamp shows the exchange while it runs.
        EXPECT_NE(std::find(lamps.begin(), lamps.end(), Lamp::Yellow), lamps.end()) << step.name;
        ASSERT_FALSE(lamps.empty());
        EXPECT_EQ(lamps.back(), step.lamp) << step.name;
    }

    // Idle after the failure: still red, until a transaction succeeds.
    EXPECT_EQ(bus.LampColour(), Lamp::Red);
    setup.ReleaseButtonClick();
    EXPECT_EQ(setup.statusPanel, "Status: Not connected.");
    EXPECT_EQ(bus.panels[2], "Quenlo: Port not opened");
    EXPECT_EQ(bus.LampColour(), Lamp::Black);
}
