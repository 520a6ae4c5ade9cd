// The save/export dialog's face: its widgets by name, the header edits open for the exports
// only, and a text export written with the typed company and location.

#include "common/FileUtil.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/Program.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace vantrel;

TEST(SaveExportGuiTest, ATextExportWithCompanyAndLocation) {
    const std::string dir = testing::TempDir() + "/vantrel-export-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    test::FakePorts ports;
    host::ScriptedPrompts prompts;
    ui::ProgramOptions options;
    options.settingsPath = dir + "/settings.ini";
    options.ports = &ports;
    options.splashMs = 20;
    options.prompts = &prompts;
    auto program = std::make_unique<ui::Program>(options);
    program->Window().show();
    QCoreApplication::processEvents();

    // As with a unit connected; the button is off without one.
    program->Form().SetEnabled("SaveConfigButtonNew", true);
    program->Form().Click("SaveConfigButtonNew");
    QCoreApplication::processEvents();
    QPointer<QDialog> dialog = program->Window().findChild<QDialog*>("TSaveExportForm");
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), "Save or export configuration");
    auto* print = dialog->findChild<QRadioButton*>("rbExportPrint");
    auto* text = dialog->findChild<QRadioButton*>("rbExportTXT");
    auto* company = dialog->findChild<QLineEdit*>("tfCompany");
    auto* location = dialog->findChild<QLineEdit*>("tfLocation");
    ASSERT_TRUE(print && text && company && location);
    EXPECT_FALSE(print->isEnabled());
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("rbSaveCVC")->isChecked());
    EXPECT_FALSE(company->isEnabled());

    text->click();
    EXPECT_TRUE(company->isEnabled());
    EXPECT_TRUE(location->isEnabled());
    QTest::keyClicks(company, "Acme");
    QTest::keyClicks(location, "Pump 3");
    const std::string path = dir + "/report.txt";
    prompts.fileNames.push_back(path);
    dialog->findChild<QPushButton*>("Button1")->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());

    std::string written;
    ASSERT_TRUE(ReadFileText(path, written, nullptr));
    EXPECT_EQ(written.substr(0, written.find("Tool")),
              "Company name: Acme\r\nDevice location: Pump 3\r\n");
    EXPECT_EQ(program->Form().CompanyName, "Acme");
    program.reset();
    std::filesystem::remove_all(dir);
}
