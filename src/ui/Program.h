#pragma once

// The program put together: the Device record, the settings file, the port list, the bus
// component, the main window as data and its Qt face, with the window's hooks wired. The
// program entry and the GUI tests build it the same way.

#include "common/Device.h"
#include "common/IniFile.h"
#include "ui/QtHost.h"
#include "ui/QtPrompts.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <string>

namespace vantrel::host {
class PortList;
}
namespace vantrel::editor {
class Form;
class EditingRules;
} // namespace vantrel::editor
namespace vantrel::host {
class Prompts;
}
namespace vantrel::modbus {
class SystemPortList;
class TModbus;
class PortSetup;
} // namespace vantrel::modbus
namespace vantrel::config {
class ConfigFiles;
} // namespace vantrel::config
namespace vantrel::device {
class TDeviceAccess;
class TOperatorValues;
class TOperatorWatch;
class TDeviceCommands;
} // namespace vantrel::device

namespace vantrel::ui {

class TConfigForm;

struct ProgramOptions {
    std::string settingsPath;        // empty: SettingsFilePath()
    host::PortList* ports = nullptr; // null: the system's ports, numbered in the settings file
    int splashMs = 1000;
    host::Prompts* prompts = nullptr; // null: the Qt message boxes and dialogs
    std::string defaultsFolder;       // empty: the per-model default files beside the program
};

class Program {
public:
    // Needs the application object. Creates the main window (its creation event runs, with the
    // splash) but does not show it.
    explicit Program(ProgramOptions options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    QtHost host;
    QtPrompts prompts;
    Device device;
    std::string settingsPath;
    std::string folderProblem; // why the settings file's folder could not be made; shown once
    IniFile settings; // shared with the port list, which keeps its [Ports] numbering here

    host::PortList& Ports() const { return *ports_; }
    modbus::TModbus& Bus() const { return *bus_; }
    modbus::PortSetup& Setup() const;
    editor::Form& Form() const { return *form_; }
    editor::EditingRules& Rules() const { return *rules_; }
    host::Prompts& Prompts() const { return *prompts_; }
    TConfigForm& Window() const { return *window_; }

private:
    void WireHooks();

    std::unique_ptr<modbus::SystemPortList> systemPorts_;
    host::PortList* ports_ = nullptr;
    std::unique_ptr<modbus::TModbus> bus_;
    std::unique_ptr<editor::Form> form_;
    host::Prompts* prompts_ = nullptr;
    std::unique_ptr<editor::EditingRules> rules_;
    std::unique_ptr<TConfigForm> window_;
    std::unique_ptr<device::TDeviceAccess> access_;
    std::unique_ptr<device::TOperatorValues> operatorValues_;
    std::unique_ptr<device::TOperatorWatch> watch_; // the Runtime Values page's trend
    std::unique_ptr<device::TDeviceCommands> commands_;
    std::unique_ptr<config::ConfigFiles> configFiles_;
    QPointer<QDialog> saveExport_;
};

} // namespace vantrel::ui
