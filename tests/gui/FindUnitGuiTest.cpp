// "Find unit..." through the Qt face against the simulated unit: progress while it searches,
// the unit listed, "Use this unit" connecting with the unit's settings in the port setup,
// and Cancel and the close box stopping a search.

#include "editor/Form.h"
#include "modbus/Bus.h"
#include "modbus/PortSetup.h"
#include "tests/gui/SimProgram.h"
#include "ui/ConfigForm.h"
#include "ui/FindUnitDialog.h"
#include "ui/ModConfigForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

class FindUnitGui : public test::SimProgramTest {
protected:
    // A Q4200 at address 5, talking ASCII, where the settings file says RTU at address 1.
    void SetUp() override {
        sim::UnitOptions options;
        options.model = sim::Model::Q4200;
        options.logger = true;
        options.serial = 4242424;
        options.comm.address = 5;
        options.comm.mode = sim::kModeAscii;
        StartProgram(options, false);
    }

    ui::FindUnitDialog* OpenFromHome() {
        auto* button = program->Window().findChild<QPushButton*>("FindUnitButton");
        EXPECT_NE(button, nullptr);
        if (!button)
            return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        auto* dialog = program->Window().findChild<ui::FindUnitDialog*>("FindUnitDialog");
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    }

    // One speed, both framings, the first eight addresses.
    static void Narrow(ui::FindUnitDialog& dialog, int lastAddress = 8) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            if (box->objectName().startsWith("Speed"))
                box->setChecked(box->objectName() == "Speed9600");
        dialog.findChild<QComboBox*>("FramingCombo")->setCurrentIndex(0);
        dialog.findChild<QSpinBox*>("LastAddressEdit")->setValue(lastAddress);
    }

    static QPushButton* Button(ui::FindUnitDialog& dialog, const char* name) {
        return dialog.findChild<QPushButton*>(name);
    }
};

TEST_F(FindUnitGui, ShowsProgressListsTheUnitAndUseThisUnitConnectsWithItsSettings) {
    ui::FindUnitDialog* dialog = OpenFromHome();
    ASSERT_NE(dialog, nullptr);
    Narrow(*dialog);
    auto* bar = dialog->findChild<QProgressBar*>("SearchProgress");
    auto* status = dialog->findChild<QLabel*>("SearchStatusLabel");
    // What the window showed while the search ran.
    int barSeen = 0;
    bool cancelEnabled = false, useDisabled = false, mainDisabled = false;
    QString statusSeen;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!dialog->Searching())
            return;
        barSeen = std::max(barSeen, bar->value());
        cancelEnabled = Button(*dialog, "CancelButton")->isEnabled();
        useDisabled = !Button(*dialog, "UseUnitButton")->isEnabled();
        // No other run may take the port meanwhile.
        mainDisabled = !program->Window().centralWidget()->isEnabled() &&
                       !program->Window().ModConfigForm()->isEnabled();
        if (bar->value() > 0)
            statusSeen = status->text();
    });
    watch.start();
    QTest::mouseClick(Button(*dialog, "SearchButton"), Qt::LeftButton);
    watch.stop();

    EXPECT_GT(barSeen, 0);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(useDisabled);
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(program->Window().centralWidget()->isEnabled());
    EXPECT_TRUE(statusSeen.contains(" of 16: 9600 8N1 ")) << statusSeen.toStdString();
    EXPECT_TRUE(statusSeen.contains(" left")) << statusSeen.toStdString();
    auto* list = dialog->findChild<QListWidget*>("FoundUnitsList");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text().toStdString(),
              "9600 8N1 ASCII address 5: Q4200 serial 4242424 version 03:01:05");
    // The port setup stayed as it was through the search.
    modbus::PortSetup& setup = program->Setup();
    EXPECT_TRUE(setup.protocolRtu);
    EXPECT_EQ(setup.GetSlaveAddress(), 1);
    EXPECT_EQ(program->Bus().ModThread()->Framing(), modbus::kFramingRtu);

    QPointer<ui::FindUnitDialog> alive(dialog);
    ASSERT_TRUE(Button(*dialog, "UseUnitButton")->isEnabled());
    // Locked settings: the dialog says why it cannot use the unit and connects nothing.
    setup.lockSettings = true;
    QTest::mouseClick(Button(*dialog, "UseUnitButton"), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_NE(dialog->findChild<QLabel*>("SearchStatusLabel"), nullptr);
    EXPECT_TRUE(dialog->findChild<QLabel*>("SearchStatusLabel")->text().contains("locked"));
    EXPECT_TRUE(setup.protocolRtu);
    EXPECT_EQ(setup.GetSlaveAddress(), 1);
    setup.lockSettings = false;
    QTest::mouseClick(Button(*dialog, "UseUnitButton"), Qt::LeftButton);
    EXPECT_FALSE(setup.protocolRtu);
    EXPECT_EQ(setup.GetSlaveAddress(), 5);
    EXPECT_EQ(program->device.SerialNumber, 4242424);
    EXPECT_EQ(program->device.Model, "Q4200");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull()) << "the dialog closed";
}

TEST_F(FindUnitGui, CancelAndTheCloseBoxStopASearchAndThePortSetupOpensItToo) {
    program->Bus().ModbusSetupClick();
    ui::TModConfigForm* setupDialog = program->Window().ModConfigForm();
    auto* fromSetup = setupDialog->findChild<QPushButton*>("FindUnitButton");
    ASSERT_NE(fromSetup, nullptr);
    QTest::mouseClick(fromSetup, Qt::LeftButton);
    auto* dialog = program->Window().findChild<ui::FindUnitDialog*>("FindUnitDialog");
    ASSERT_TRUE(dialog && dialog->isVisible());
    program->Setup().CloseButtonClick();

    Narrow(*dialog, 247);
    auto* bar = dialog->findChild<QProgressBar*>("SearchProgress");
    QTimer cancel;
    cancel.setInterval(2);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (dialog->Searching() && bar->value() >= 3)
            QTest::mouseClick(Button(*dialog, "CancelButton"), Qt::LeftButton);
    });
    cancel.start();
    QTest::mouseClick(Button(*dialog, "SearchButton"), Qt::LeftButton);
    cancel.stop();
    EXPECT_FALSE(dialog->Searching());
    EXPECT_LT(bar->value(), 20);
    EXPECT_EQ(dialog->findChild<QLabel*>("SearchStatusLabel")->text(), "The search was stopped.");
    EXPECT_EQ(program->Bus().ModThread()->Framing(), modbus::kFramingRtu);
    EXPECT_EQ(program->Bus().ModThread()->Retries(), 2);
    EXPECT_EQ(program->Bus().ModThread()->TimeOut(), 200);

    // The close box during a search: the search ends, then the window.
    QPointer<ui::FindUnitDialog> alive(dialog);
    QTimer closer;
    closer.setInterval(2);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (alive && alive->Searching() && bar->value() >= 3)
            alive->close();
    });
    closer.start();
    QTest::mouseClick(Button(*dialog, "SearchButton"), Qt::LeftButton);
    closer.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
    EXPECT_EQ(program->Bus().ModThread()->Framing(), modbus::kFramingRtu);
    EXPECT_TRUE(program->Bus().ModThread()->IsPortOpen());
}

} // namespace
