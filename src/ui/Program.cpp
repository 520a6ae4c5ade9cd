#include "ui/Program.h"

#include "common/AppPaths.h"
#include "config/ConfigFiles.h"
#include "device/DeviceAccess.h"
#include "device/DeviceCommands.h"
#include "device/OperatorValues.h"
#include "device/OperatorWatch.h"
#include "editor/BusWiring.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "modbus/Bus.h"
#include "modbus/PortList.h"
#include "modbus/PortSetup.h"
#include "ui/CompareButtons.h"
#include "ui/ConfigForm.h"
#include "ui/ConnectionDialog.h"
#include "ui/FindUnitDialog.h"
#include "ui/LogdataDialog.h"
#include "ui/ModConfigForm.h"
#include "ui/ModbusBar.h"
#include "ui/RuntimeTrend.h"
#include "ui/SaveExportDialog.h"
#include "ui/StartUpForm.h"

#include <QBoxLayout>
#include <QLocale>
#include <QMessageBox>
#include <QTabWidget>

#include <iostream>

namespace vantrel::ui {

namespace {

// The splash waits for its one timer period; this only bounds a wait that cannot end.
constexpr std::chrono::seconds kSplashWaitLimit{10};

} // namespace

Program::Program(ProgramOptions options)
    : settingsPath(options.settingsPath.empty() ? ProgramSettingsFilePath()
                                                : options.settingsPath) {
    // The user's own folder is made when first needed; without it the window still runs, it
    // just cannot keep its settings.
    if (options.settingsPath.empty()) {
        folderProblem = CreateFolder(settingsPath.substr(0, settingsPath.rfind('/')));
        if (!folderProblem.empty())
            std::cerr << "vantrel: " << folderProblem << "\n";
    }
    std::string error;
    if (!settings.Load(settingsPath, &error))
        std::cerr << "vantrel: " << error << "\n";
    if (options.ports) {
        ports_ = options.ports;
    } else {
        systemPorts_ = std::make_unique<modbus::SystemPortList>(settings, [this] {
            std::string saveError;
            if (!settings.SaveOwnKeys(settingsPath, &saveError, modbus::MergePortChange))
                std::cerr << "vantrel: " << saveError << "\n";
        });
        ports_ = systemPorts_.get();
    }

    bus_ = std::make_unique<modbus::TModbus>(host, host, *ports_);
    bus_->ModThread()->SetPlatformErrorHandler([](std::string caption, std::string text) {
        // Without an owner window, as the system's own error boxes are.
        QMessageBox::information(nullptr, QString::fromStdString(caption),
                                 QString::fromStdString(PlainLines(text)));
    });

    form_ = std::make_unique<editor::Form>(device, settingsPath);
    prompts_ = options.prompts ? options.prompts : &prompts;
    // Labels show numbers with the user's own decimal separator.
    rules_ = std::make_unique<editor::EditingRules>(
        *form_, *prompts_, QLocale().decimalPoint().toStdString());
    window_ = std::make_unique<TConfigForm>(*form_, *bus_, options.splashMs);
    prompts.SetOwner(window_.get());
    window_->Modbus1()->SetPrompts(prompts_);
    // Files, defaults and offline configuration; it also fills SetupModel's defaults hook.
    configFiles_ = std::make_unique<config::ConfigFiles>(*form_, *rules_, *prompts_);
    if (!options.defaultsFolder.empty())
        configFiles_->defaultsPath = [folder = options.defaultsFolder](const std::string& name) {
            return folder + "/" + name;
        };
    configFiles_->showSaveExport = [this](config::TSaveExportForm& model) {
        // The model of an open dialog has just been replaced: that dialog goes first.
        delete saveExport_.data();
        saveExport_ = new SaveExportDialog(model, window_.get());
        saveExport_->show();
    };
    access_ = std::make_unique<device::TDeviceAccess>(*form_, *rules_, *prompts_, *bus_);
    form_->OnClick("ConnectButton", [this] { access_->ConnectButtonClick(); });
    form_->OnClick("DownloadButton", [this] { access_->DownloadButtonClick(); });
    form_->OnClick("UploadButton", [this] { access_->UploadButtonClick(); });
    // The search of the line, from the HOME page and from the port setup dialog; its
    // "Use this unit" connects with the unit's settings in the port setup.
    const auto findUnit = [this] {
        FindUnitDialog* dialog = FindUnitDialog::Open(
            *bus_->ModThread(), *bus_->ModConfigForm(),
            [this] {
                if (device.SerialNumber > 0)
                    access_->ConnectButtonClick(); // releases the unit connected now
                access_->ConnectButtonClick();
            },
            window_.get());
        // Nothing else may use the port or change its settings while the search runs.
        dialog->setWindowsEnabled = [this](bool on) {
            access_->SetWindowEnabled(on);
            if (TModConfigForm* setupDialog = window_->ModConfigForm())
                setupDialog->setEnabled(on);
        };
    };
    form_->OnClick("FindUnitButton", findUnit);
    if (TModConfigForm* setupDialog = window_->ModConfigForm())
        setupDialog->findUnit = findUnit;
    // "Check the unit after writing", section [Write] of the settings file; on unless 0.
    access_->checkAfterWriting = settings.ReadString("Write", "CheckAfterWriting", "1") != "0";
    WireCompareButtons(*access_, *prompts_, QLocale().decimalPoint().toStdString());
    form_->OnClick("LogdataButton",
                   [this] { LogdataDialog::Open(*access_, *bus_, window_.get(), host); });
    form_->OnClick("LogFileButton",
                   [this] { LogdataDialog::OpenFile(*access_, window_.get(), host); });
    // The port setup and slave address the tool follows the unit's Modbus settings in, and
    // the port the commands ask for.
    access_->portSetup = bus_->ModConfigForm();
    access_->setBusAddress = [this](uint8_t address) { bus_->SetBusAddress(address); };
    // The Runtime Values page, refreshed also at the end of Read device and Write device.
    operatorValues_ = std::make_unique<device::TOperatorValues>(*access_);
    access_->readOperatorValues = [this] { return operatorValues_->ReadOperatorValues(); };
    form_->OnClick("RefeshButton", [this] { operatorValues_->RefeshButtonClick(); });
    form_->OnClick("ClearTotalButton", [this] { operatorValues_->ClearTotalButtonClick(); });
    // The live trend under the page's values.
    watch_ = std::make_unique<device::TOperatorWatch>(*access_, *operatorValues_);
    if (QWidget* page = window_->PageControl1()->findChild<QWidget*>("RuntimeSheet"))
        if (auto* layout = qobject_cast<QBoxLayout*>(page->layout()))
            layout->insertWidget(1, new RuntimeTrend(*watch_, &host, page), 2);
    // The unit's commands and the clock buttons.
    commands_ = std::make_unique<device::TDeviceCommands>(*access_, host);
    const std::pair<const char*, void (device::TDeviceCommands::*)()> commandButtons[] = {
        {"RestartButton", &device::TDeviceCommands::RestartButtonClick},
        {"FactoryResetButton", &device::TDeviceCommands::FactoryResetButtonClick},
        {"CalTuneMin", &device::TDeviceCommands::CalTuneMinClick},
        {"CalTuneMax", &device::TDeviceCommands::CalTuneMaxClick},
        {"btnUpdateTime", &device::TDeviceCommands::btnUpdateTimeClick},
        {"btnUpdateDate", &device::TDeviceCommands::btnUpdateDateClick},
    };
    for (const auto& [button, handler] : commandButtons)
        form_->OnClick(button, [this, handler = handler] { (commands_.get()->*handler)(); });
    // The "Configure as" dialog, shown over the main window until the user has answered.
    access_->runConnectionForm = [this](device::TConnectionForm& model) {
        // The identification after a restart runs with the window enabled; while it waits
        // for the answer no other run may start from the window.
        const bool wasEnabled = form_->enabled;
        access_->SetWindowEnabled(false);
        ConnectionDialog::Run(model, window_.get(), host);
        access_->SetWindowEnabled(wasEnabled);
    };

    // The bus component as the main window sets it up, the port setup's start-up values and
    // the bus settings loaded on show and saved on close.
    editor::WireBus(*form_, *bus_, settings);
    WireHooks();
    form_->FormCreate();
}

Program::~Program() {
    // The widgets go before the models they show; the bus ends its worker while the host
    // can still run the worker's last hand-overs.
    window_.reset();
    configFiles_.reset();
    commands_.reset();
    watch_.reset();
    operatorValues_.reset();
    access_.reset();
    rules_.reset();
    form_.reset();
    bus_.reset();
}

modbus::PortSetup& Program::Setup() const {
    return *bus_->ModConfigForm();
}

void Program::WireHooks() {
    editor::FormHooks& hooks = form_->hooks;
    hooks.showSplash = [this] { window_->StartUpForm()->ShowSplash(); };
    hooks.waitSplash = [this] {
        TStartUpForm* splash = window_->StartUpForm();
        host.WaitUntil([splash] { return splash->TimerDone(); }, kSplashWaitLimit);
        splash->hide();
    };
    hooks.showAbout = [this] { window_->StartUpForm()->ShowAbout(); };
}

} // namespace vantrel::ui
