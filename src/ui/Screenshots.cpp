#include "ui/Screenshots.h"

#include "device/ConnectionForm.h"
#include "device/LogdataForm.h"
#include "editor/Form.h"
#include "modbus/Bus.h"
#include "modbus/PortSetup.h"
#include "ui/BusMonitorWindow.h"
#include "ui/ConfigForm.h"
#include "ui/ModbusBar.h"
#include "ui/ConnectionDialog.h"
#include "ui/FindUnitDialog.h"
#include "ui/LogChartView.h"
#include "ui/LogdataDialog.h"
#include "ui/ModConfigForm.h"
#include "ui/Program.h"
#include "ui/RuntimeTrend.h"
#include "ui/StartUpForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <iostream>

namespace vantrel::ui {

namespace {

// Lets the window paint and settle: events run for this long.
void Settle(Program& program, int ms) {
    program.host.WaitUntil([] { return false; }, std::chrono::milliseconds(ms));
}

bool Save(QWidget* widget, const QString& path) {
    const bool saved = widget->grab().save(path);
    std::cerr << (saved ? "saved " : "could not save ") << path.toStdString() << "\n";
    return saved;
}

bool SavePages(Program& program, const QString& folder, const std::string& model, char variant) {
    editor::Form& form = program.Form();
    bool ok = true;
    form.SetupModel(model, variant);
    for (size_t i = 0; i < form.Pages().size(); ++i) {
        const editor::Page& page = form.Pages()[i];
        if (!page.visible)
            continue;
        form.SelectPage(static_cast<int>(i));
        Settle(program, 100);
        ok = Save(&program.Window(), folder + "/" + QString::fromStdString(page.name) + ".png") &&
             ok;
    }
    return ok;
}

// The "Configure as" dialog as a unit of a model the tool does not accept brings it up.
bool SaveConnectionDialog(Program& program, const QString& folder) {
    device::TConnectionForm model(program.Form(), program.device, program.Prompts(),
                                  "A device with an invalid modelnumber was detected.\r\n"
                                  "\r\nSerialnumber:\t1234567\r\nModel:\t\t2121"
                                  "\r\nVersion:\t\t03:01:05");
    model.SelectUnit(4);
    bool ok = false;
    QTimer::singleShot(300, &program.Window(), [&] {
        if (auto* dialog = program.Window().findChild<ConnectionDialog*>("TConnectionForm"))
            ok = Save(dialog, folder + "/configure-as.png");
        model.btnCancelClick();
    });
    ConnectionDialog::Run(model, &program.Window(), program.host);
    return ok;
}

// Connect and Read device against the unit on the configured port (popups off in the
// settings, so that no question holds the run up): the window halfway through the run, and
// the Runtime Values page afterwards. The unit is released again at the end.
bool SaveDeviceRun(Program& program, const QString& folder) {
    editor::Form& form = program.Form();
    if (form.ShowPopups || !program.Bus().ModThread()->IsPortOpen()) {
        std::cerr << "no device pictures: they need a unit on the port and popups off\n";
        return true;
    }
    bool progressSaved = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QProgressBar* bar = program.Window().ProgressBar1();
        if (!progressSaved && bar->isVisible() && bar->value() * 2 >= bar->maximum()) {
            progressSaved = Save(&program.Window(), folder + "/read-device-progress.png");
            watch.stop();
        }
    });
    watch.start();
    form.Click("ConnectButton");
    watch.stop();
    if (program.device.SerialNumber <= 0) {
        std::cerr << "no unit answered: no device pictures\n";
        return false;
    }
    form.SelectPage(form.PageIndex("RuntimeSheet"));
    Settle(program, 200);
    bool ok = Save(&program.Window(), folder + "/runtime-values.png");
    if (auto* trend = program.Window().findChild<RuntimeTrend*>("RuntimeTrend")) {
        // Half a minute of the moving flow at the shortest interval.
        trend->SelectInterval(500);
        trend->WatchClick();
        Settle(program, 30000);
        trend->WatchClick();
        Settle(program, 200);
        ok = Save(&program.Window(), folder + "/runtime-trend.png") && ok;
    }
    form.SelectPage(form.PageIndex("ConfigurationSheet"));
    form.Click("ConnectButton"); // release
    Settle(program, 100);
    return ok && progressSaved;
}

// "Find unit..." after a search that found the unit on the configured port: the search
// kept short (one speed, RTU, the first addresses) so that the picture comes quickly.
bool SaveFindUnit(Program& program, const QString& folder) {
    if (!program.Bus().ModThread()->IsPortOpen()) {
        std::cerr << "no find-unit picture: it needs a unit on the port\n";
        return true;
    }
    FindUnitDialog* dialog = FindUnitDialog::Open(*program.Bus().ModThread(), program.Setup(),
                                                  nullptr, &program.Window());
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        if (box->objectName().startsWith("Speed"))
            box->setChecked(box->objectName() == "Speed9600");
    dialog->findChild<QComboBox*>("FramingCombo")->setCurrentIndex(1);
    dialog->findChild<QSpinBox*>("LastAddressEdit")->setValue(5);
    dialog->findChild<QCheckBox*>("FindAllCheck")->setChecked(true);
    Settle(program, 200);
    dialog->StartSearch();
    Settle(program, 200);
    const bool ok = !dialog->Found().empty() && Save(dialog, folder + "/find-unit.png");
    dialog->close();
    Settle(program, 50);
    return ok;
}

// The question before Write device when the form differs from what was read from the unit:
// the list of what the write would change. Cancelled, so nothing is sent.
bool SaveWriteDifferences(Program& program, const QString& folder) {
    editor::Form& form = program.Form();
    if (form.ShowPopups || !program.Bus().ModThread()->IsPortOpen())
        return true;
    form.Click("ConnectButton");
    if (program.device.SerialNumber <= 0)
        return false;
    form.UserSelect("DisplayBrightnessGroup", 2);
    form.UserEdit("OthersTagEdit", "4711");
    form.UserEdit("PulseAmountEdit", "2500");
    form.UserSelect("DataLogIntervalGroup", 3);
    form.UserEdit("FrequencyEdit3", "1250");
    form.FinishEdit();
    bool ok = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != "ListPrompt" || !w->isVisible())
                continue;
            poll.stop();
            Settle(program, 200);
            ok = Save(w, folder + "/write-differences.png");
            static_cast<QDialog*>(w)->reject();
            return;
        }
    });
    poll.start();
    form.ShowPopups = true;
    form.Click("UploadButton");
    form.ShowPopups = false;
    poll.stop();
    form.Click("ConnectButton"); // release
    Settle(program, 100);
    return ok;
}

} // namespace

bool SaveScreenshots(Program& program, const QString& folder, const QString& pagesFolder) {
    QDir().mkpath(folder);
    Settle(program, 400);
    bool ok = Save(&program.Window(), folder + "/main-window.png");

    program.Bus().ModbusSetupClick();
    Settle(program, 300);
    ok = Save(program.Window().ModConfigForm(), folder + "/port-setup.png") && ok;
    if (auto* ports = program.Window().ModConfigForm()->findChild<QComboBox*>("ComPortComboBox")) {
        ports->showPopup();
        Settle(program, 200);
        ok = Save(ports->view()->window(), folder + "/port-list.png") && ok;
        ports->hidePopup();
    }
    program.Setup().CloseButtonClick();

    {
        // The log data window after a readout of the unit's first list.
        device::TLogdataForm logdata(program.Bus(), program.Prompts());
        auto* window = new LogdataDialog(logdata, &program.Window());
        window->show();
        logdata.FormShow();
        logdata.cbLogListsSelect(0);
        logdata.btnReadDataClick();
        Settle(program, 200);
        ok = Save(window, folder + "/logdata.png") && ok;
        window->Tabs()->setCurrentWidget(window->ChartView());
        window->UpdateChart();
        Settle(program, 200);
        ok = Save(window, folder + "/logdata-chart.png") && ok;
        delete window;
    }

    TStartUpForm* about = program.Window().StartUpForm();
    QTimer::singleShot(300, about, [&] {
        ok = Save(about, folder + "/about.png") && ok;
        about->accept();
    });
    about->ShowAbout();

    ok = SaveConnectionDialog(program, folder) && ok;
    ok = SaveFindUnit(program, folder) && ok;
    // The bus monitor beside the window through the device run, then a read of an address
    // where no unit answers, so that failed rows are in the picture too.
    TBusMonitor* monitor = program.Window().Modbus1()->BusMonitor();
    monitor->ShowAndRaise();
    ok = SaveDeviceRun(program, folder) && ok;
    {
        uint8_t value[3] = {};
        program.Bus().ModThread()->ReadRegisters(value, 99, 165, 3);
        program.Bus().ModThread()->ReadRegisters(value, program.Bus().GetBusAddress(), 165, 3);
        Settle(program, 300);
        ok = Save(monitor, folder + "/bus-monitor.png") && ok;
        monitor->close();
    }
    ok = SaveWriteDifferences(program, folder) && ok;

    if (!pagesFolder.isEmpty()) {
        QDir().mkpath(pagesFolder);
        const bool hadLog = program.device.HasDataLog;
        program.device.HasDataLog = true;
        ok = SavePages(program, pagesFolder, "Q4200", 'P') && ok;
        ok = SavePages(program, pagesFolder, "R212-A", 0) && ok;
        program.device.HasDataLog = hadLog;
        program.Form().SetupModel("", 0);
    }
    return ok;
}

} // namespace vantrel::ui
