#include "editor/BusWiring.h"
#include "modbus/PortList.h"

namespace vantrel::editor {

void WireBus(Form& form, modbus::TModbus& bus, IniFile& settings) {
    bus.SetAutoPort(true);
    bus.SetShowAddress(true);
    bus.SetBusAddress(1);
    modbus::PortSetup& setup = *bus.ModConfigForm();

    form.hooks.portSetupDefaults = [&setup] {
        setup.SetCaption("Port Setup");
        setup.SelectSpeedIndex(3);
        setup.SelectDataBitsIndex(0);
        setup.SelectParityIndex(0);
        setup.SelectStopBitsIndex(0);
        setup.SelectProtocol(1);
        setup.SetResponseLabel("No response time-out");
        setup.ShowMiscellaneous(false);
    };
    form.hooks.portSetupFinish = [&setup] { setup.SetRtuTimeOutValue(20); };
    // The file was read at start-up into settings; reading it again keeps lines that another
    // program (the command-line tool) added meanwhile.
    form.hooks.loadBusSettings = [&setup, &settings](const std::string& path) {
        IniFile fresh;
        if (fresh.Load(path))
            settings = fresh;
        setup.LoadSettings(settings);
    };
    form.hooks.saveBusSettings = [&setup, &settings](const std::string& path) {
        setup.SaveSettings(settings);
        settings.SaveOwnKeys(path, nullptr, modbus::MergePortChange);
    };
    form.hooks.showPortSetup = [&bus] { bus.ModbusSetupClick(); };
}

} // namespace vantrel::editor
