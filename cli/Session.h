#pragma once

// The tool's core without a window: the Device record, the settings file, the port list,
// the bus component with its port setup, the main window as data (popups off), its editing
// rules, the configuration files and the device runs, with console prompts. A verb drives
// the same handlers the GUI's buttons do.

#include "cli/CliOptions.h"
#include "common/Device.h"
#include "common/IniFile.h"
#include "config/ConfigFiles.h"
#include "device/DeviceAccess.h"
#include "device/DeviceCommands.h"
#include "device/OperatorValues.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/PlainHost.h"
#include "host/Prompts.h"
#include "modbus/Bus.h"
#include "modbus/PortList.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

// Prompts on the console: questions are answered as the GUI answers them with popups off
// (Yes, Ok, Retry), every message text goes to the error stream, the input box takes its
// answers from a queue (empty: cancelled) and the file dialogs answer with the path the verb
// was given.
class ConsolePrompts final : public host::Prompts {
public:
    explicit ConsolePrompts(std::ostream& out);

    host::PromptAnswer Ask(const std::string& text, const std::string& caption,
                           host::PromptIcon icon, host::PromptButtons buttons) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& initial) override;
    std::optional<std::string> OpenFileName(const host::FileDialogOptions& options) override;
    std::optional<std::string> SaveFileName(const host::FileDialogOptions& options) override;

    std::vector<std::string> inputs;
    std::optional<std::string> fileName;
    // The texts shown so far, and how many of them carried the error icon.
    std::vector<std::string> shown;
    int errors = 0;

private:
    std::ostream& out_;
};

// A message text as one block of console lines: CR LF and lone CR become line feeds.
std::string ConsoleText(const std::string& text);

class Session {
public:
    // Reads the settings file named by the options (or the GUI's). Check Ready() after.
    explicit Session(CliOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Settings loaded; the reason otherwise.
    bool Ready() const { return ready_; }
    const std::string& Error() const { return error_; }

    // The port number the options or the settings name; 0: none.
    int PortNumber();
    // Puts the effective bus settings on the port setup and opens the port. False, with the
    // reason in Error(), when it could not be opened.
    bool OpenPort(int portNumber);

    // Identification as "Connect device" does it (the read that follows with popups off
    // included). True when a unit was accepted.
    bool Identify();

    CliOptions& options;
    host::PlainHost host;
    Device device;
    std::string settingsPath;
    IniFile settings;
    ConsolePrompts prompts;
    std::unique_ptr<modbus::SystemPortList> ports;
    std::unique_ptr<modbus::TModbus> bus;
    std::unique_ptr<editor::Form> form;
    std::unique_ptr<editor::EditingRules> rules;
    std::unique_ptr<config::ConfigFiles> configFiles;
    std::unique_ptr<device::TDeviceAccess> access;
    std::unique_ptr<device::TOperatorValues> values;
    std::unique_ptr<device::TDeviceCommands> commands;

    // Status texts and progress of the runs on the error stream (read-config, write-config).
    bool showProgress = false;
    // A bulk run logged a parameter that failed (its ReadLog or WriteLog file).
    bool transferErrors = false;

    // "TEXT: PATH" naming the log a run wrote, or TEXT with a full stop when there is none.
    std::string CheckLogText(const std::string& text, const std::string& prefix) const;

    modbus::TModThread& Worker() const { return *bus->ModThread(); }
    modbus::PortSetup& Setup() const { return *bus->ModConfigForm(); }

private:
    void ShowProgress();

    bool ready_ = false;
    std::string error_;
    std::string lastStatus_;
    int lastProgress_ = -1;
};

} // namespace vantrel::cli
