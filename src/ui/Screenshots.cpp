#include "ui/Screenshots.h"

#include "editor/Form.h"
#include "modbus/Bus.h"
#include "modbus/PortSetup.h"
#include "ui/ConfigForm.h"
#include "ui/ModConfigForm.h"
#include "ui/Program.h"
#include "ui/StartUpForm.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
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

    TStartUpForm* about = program.Window().StartUpForm();
    QTimer::singleShot(300, about, [&] {
        ok = Save(about, folder + "/about.png") && ok;
        about->accept();
    });
    about->ShowAbout();

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
