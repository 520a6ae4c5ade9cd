#include "cli/Session.h"

#include "common/AppPaths.h"
#include "device/ConnectionForm.h"

#include <clocale>
#include <filesystem>
#include <iostream>
#include <langinfo.h>
#include <locale.h>

namespace vantrel::cli {

using host::PromptAnswer;
using host::PromptButtons;

namespace {

// The user's decimal separator for the value labels, as the GUI takes it from the locale.
// The process locale itself stays "C": files are written with a full stop whatever the user's
// language.
std::string UserDecimalSeparator() {
    std::string separator = ".";
    if (locale_t user = ::newlocale(LC_NUMERIC_MASK, "", nullptr)) {
        if (const char* radix = ::nl_langinfo_l(RADIXCHAR, user); radix && *radix)
            separator = radix;
        ::freelocale(user);
    }
    return separator;
}

} // namespace

std::string ConsoleText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

ConsolePrompts::ConsolePrompts(std::ostream& out) : out_(out) {}

PromptAnswer ConsolePrompts::Ask(const std::string& text, const std::string& /*caption*/,
                                 host::PromptIcon icon, PromptButtons buttons) {
    out_ << ConsoleText(text) << "\n";
    if (icon == host::PromptIcon::Error)
        ++errors;
    shown.push_back(text);
    switch (buttons) {
    case PromptButtons::Ok:
    case PromptButtons::OkCancel:
        return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel:
        return PromptAnswer::Yes;
    case PromptButtons::AbortRetryIgnore:
        return PromptAnswer::Ignore;
    case PromptButtons::RetryCancel:
        // Nobody is there to fix what failed: retrying would only repeat it.
        return PromptAnswer::Cancel;
    }
    return PromptAnswer::Ok;
}

std::string ConsolePrompts::InputBox(const std::string& /*caption*/, const std::string& /*prompt*/,
                                     const std::string& initial) {
    if (inputs.empty())
        return initial;
    std::string text = inputs.front();
    inputs.erase(inputs.begin());
    return text;
}

std::optional<std::string> ConsolePrompts::OpenFileName(const host::FileDialogOptions&) {
    return fileName;
}

std::optional<std::string> ConsolePrompts::SaveFileName(const host::FileDialogOptions&) {
    return fileName;
}

Session::Session(CliOptions& opts)
    : options(opts),
      settingsPath(opts.settingsFile.empty() ? SettingsFilePath() : opts.settingsFile),
      prompts(std::cerr) {
    // The user's own folder is made when first needed; without it the tool still runs, it
    // just cannot keep its port numbers.
    if (opts.settingsFile.empty())
        if (const std::string problem =
                CreateFolder(std::filesystem::path(settingsPath).parent_path().string());
            !problem.empty())
            std::cerr << "vantrel-cli: " << problem << "\n";
    if (!settings.Load(settingsPath, &error_))
        return;
    // New ports get their numbers kept, as the GUI does.
    ports = std::make_unique<modbus::SystemPortList>(settings, [this] {
        std::string saveError;
        if (!settings.SaveOwnKeys(settingsPath, &saveError, modbus::MergePortChange))
            std::cerr << "vantrel-cli: " << saveError << "\n";
    });
    bus = std::make_unique<modbus::TModbus>(host, host, *ports);
    Worker().SetPlatformErrorHandler([](const std::string& caption, const std::string& text) {
        std::cerr << caption << ": " << ConsoleText(text) << "\n";
    });

    form = std::make_unique<editor::Form>(device, settingsPath);
    rules = std::make_unique<editor::EditingRules>(*form, prompts, UserDecimalSeparator());
    configFiles = std::make_unique<config::ConfigFiles>(*form, *rules, prompts);
    access = std::make_unique<device::TDeviceAccess>(*form, *rules, prompts, *bus);
    // A run's logs go where the user pointed the settings, not beside the program.
    if (!opts.settingsFile.empty())
        access->logFolder = std::filesystem::absolute(settingsPath).parent_path().string();
    access->portSetup = bus->ModConfigForm();
    access->setBusAddress = [this](uint8_t address) { bus->SetBusAddress(address); };
    values = std::make_unique<device::TOperatorValues>(*access);
    access->readOperatorValues = [this] { return values->ReadOperatorValues(); };
    commands = std::make_unique<device::TDeviceCommands>(*access, host);

    // The "Configure as" answer comes from the command line.
    access->runConnectionForm = [this](device::TConnectionForm& dialog) {
        std::cerr << ConsoleText(dialog.lblMessage) << "\n";
        const auto& items = dialog.cbUnitSelectItems;
        int chosen = -1;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == options.configureAs)
                chosen = static_cast<int>(i);
        if (options.configureAs.empty()) {
            std::cerr << "Use --configure-as MODEL to configure the unit as one of:";
            for (const std::string& item : items)
                std::cerr << " " << item;
            std::cerr << "\n";
        } else if (chosen < 0) {
            std::cerr << options.configureAs << " is not a model the unit can be configured as.\n";
        }
        if (chosen >= 0) {
            dialog.SelectUnit(chosen);
            dialog.btnConnectUnitAsClick();
        }
        if (dialog.visible)
            dialog.btnCancelClick();
    };

    form->windowChanged = [this] { ShowProgress(); };
    form->FormCreate();
    // Questions are answered as the GUI answers them with popups off: go ahead.
    form->ShowPopups = false;
    ready_ = true;
}

Session::~Session() {
    if (form)
        form->windowChanged = nullptr;
    commands.reset();
    values.reset();
    access.reset();
    configFiles.reset();
    rules.reset();
    form.reset();
    bus.reset();
}

std::string Session::CheckLogText(const std::string& text, const std::string& prefix) const {
    return access->CheckLogText(text, prefix);
}

void Session::ShowProgress() {
    if (form->TransferErrorLogged)
        transferErrors = true;
    std::string status = form->statusPanels[1];
    if (status != lastStatus_) {
        lastStatus_ = status;
        if (!status.empty() && showProgress)
            std::cerr << status.substr(status.find_first_not_of(' ')) << "\n";
    }
    const int total = form->progressTotal;
    const int percent = total > 0 ? form->progressDone * 100 / total : -1;
    // Every tenth: enough to see a long run move without a line per parameter.
    const int step = percent < 0 ? -1 : percent / 10;
    if (step != lastProgress_) {
        lastProgress_ = step;
        if (step >= 0 && showProgress)
            std::cerr << "Progress: " << form->progressDone << "/" << total << "\n";
    }
}

int Session::PortNumber() {
    if (options.port.empty())
        return EffectiveSettings(options, settings).port;
    const int number = modbus::PortNumberOfName(options.port);
    return number != 0 ? number : ports->NumberForPath(options.port);
}

bool Session::OpenPort(int portNumber) {
    // Errors name the port as the user gave it: a device path given on the command line has
    // a COM number of this run only, one the user never typed.
    const std::string portName =
        options.port.empty() ? "COM" + std::to_string(portNumber) : options.port;
    const auto named = [&](std::string reason) {
        const std::string number = "COM" + std::to_string(portNumber);
        for (size_t at = reason.find(number); at != std::string::npos;
             at = reason.find(number, at + portName.size())) {
            const size_t end = at + number.size();
            if (end < reason.size() && reason[end] >= '0' && reason[end] <= '9')
                continue; // COM12 in a text about COM1
            reason.replace(at, number.size(), portName);
        }
        return reason;
    };
    const modbus::BusSettings line = EffectiveSettings(options, settings);
    modbus::TModThread& worker = Worker();
    worker.SetFraming(line.framing);
    worker.SetRetries(line.retries);
    worker.SetResponseTimeOut(line.timeOut);
    worker.SetRtuTimeOut(line.rtuTimeOut);
    modbus::PortSetup& setup = Setup();
    // The dialog shows what the worker holds, then takes the line settings; the commands
    // (factory reset) change the line through it as the GUI's do.
    setup.RefreshFromWorker();
    setup.SelectSpeedIndex(line.speed);
    setup.SelectDataBitsIndex(line.dataBits);
    setup.SelectParityIndex(line.parity);
    setup.SelectStopBitsIndex(line.stopBits);
    setup.SetSlaveAddress(options.slave);
    setup.RefreshPortList();
    setup.SelectPort(portNumber);
    if (setup.GetPortNumber() != portNumber) {
        // Not in the list of present ports: the worker's own attempt says why.
        worker.OpenPort(portNumber, line.speed, line.dataBits, line.parity, line.stopBits);
        worker.ClosePort();
        error_ = "unable to open " + portName + ": " +
                 named(worker.LastOpenError().empty() ? "the port is not present"
                                                      : worker.LastOpenError());
        return false;
    }
    if (!worker.IsPortOpen()) {
        error_ = "unable to open " + portName + ": " +
                 named(setup.lastOpenError.empty() ? worker.LastOpenError() : setup.lastOpenError);
        return false;
    }
    return true;
}

bool Session::Identify() {
    access->SetWindowEnabled(false);
    const bool accepted = access->IdentifyDevice();
    access->SetWindowEnabled(true);
    return accepted;
}

} // namespace vantrel::cli
