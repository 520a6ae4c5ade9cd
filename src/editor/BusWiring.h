#pragma once

#include "common/IniFile.h"
#include "editor/Form.h"
#include "modbus/Bus.h"

namespace vantrel::editor {

// Ties the main window to the bus component the way the window's form sets it up: the
// component searches a port at start-up, shows the slave address in its dialog, and the
// window gives the dialog its start-up selections and loads and saves the bus settings.
// settings is the settings file's contents, shared with the port list (its [Ports] lines).
void WireBus(Form& form, modbus::TModbus& bus, IniFile& settings);

} // namespace vantrel::editor
