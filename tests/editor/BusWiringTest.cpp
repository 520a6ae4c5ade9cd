#include "editor/BusWiring.h"
#include "host/PlainHost.h"
#include "tests/model/ModelSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace vantrel;

TEST(BusWiring, StartUpShowAndCloseOfTheMainWindow) {
    test::Pty first, second;
    test::FakePorts ports;
    ports.Plug(1, first.Path());
    ports.Plug(12, second.Path());
    const std::string path =
        testing::TempDir() + "/wiring-" + std::to_string(::getpid()) + ".ini";
    std::ofstream(path) << "[Modbus]\r\nPort=COM12\r\nSpeed=2400\r\nParity=even\r\n"
                           "Protocol=ASCII\r\n[Ports]\r\nCOM12=/dev/whatever\r\n";
    IniFile settings;
    ASSERT_TRUE(settings.Load(path));

    host::PlainHost host;
    modbus::TModbus bus(host, host, ports);
    Device device;
    editor::Form form(device, path);
    editor::WireBus(form, bus, settings);
    modbus::PortSetup& setup = *bus.ModConfigForm();
    // The bus searched a port from COM1 upward.
    EXPECT_EQ(bus.ModThread()->PortNumber(), 1);

    form.FormCreate();
    EXPECT_EQ(setup.caption, "Port Setup");
    EXPECT_EQ(setup.responseLabel, "No response time-out");
    EXPECT_FALSE(setup.miscellaneousVisible);
    EXPECT_TRUE(setup.protocolRtu);
    EXPECT_EQ(setup.Rtu.text, "20");
    EXPECT_EQ(bus.ModThread()->RtuTimeOut(), 20);
    EXPECT_TRUE(setup.showSlaveAddress);

    form.FormShow();
    EXPECT_EQ(setup.GetPortNumber(), 12);
    EXPECT_EQ(bus.ModThread()->PortNumber(), 12);
    EXPECT_EQ(bus.ModThread()->ModeString(), "2400,E,8,1");
    EXPECT_EQ(bus.ModThread()->Framing(), modbus::kFramingAscii);

    setup.ComSpeedComboBoxSelect(5);
    form.FormClose();
    IniFile saved;
    ASSERT_TRUE(saved.Load(path));
    EXPECT_EQ(saved.ReadString("Modbus", "Speed", ""), "19200");
    EXPECT_EQ(saved.ReadString("Modbus", "Port", ""), "COM12");
    EXPECT_EQ(saved.ReadString("Modbus", "RTUTimeOut", ""), "20");
    EXPECT_EQ(saved.ReadString("Ports", "COM12", ""), "/dev/whatever"); // other lines kept

    form.ModbusButtonClick();
    EXPECT_TRUE(setup.visible);
}
