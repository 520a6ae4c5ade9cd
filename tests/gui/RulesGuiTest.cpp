// The editing rules behind the Qt face, on the offscreen platform: what the user types into a
// number edit, the correction when the edit is left, a correction while typing, and the
// labels that follow. With VANTREL_SCREENSHOTS set to a folder, the Total, Flowmeter and
// Linearization pages are saved there as pictures for the documentation.

#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/Program.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace vantrel;

namespace {

class RulesGuiTest : public testing::Test {
protected:
    void SetUp() override {
        settingsPath =
            testing::TempDir() + "/vantrel-rules-gui-" + std::to_string(::getpid()) + ".ini";
        std::filesystem::remove(settingsPath);
        ui::ProgramOptions options;
        options.settingsPath = settingsPath;
        options.ports = &ports;
        options.splashMs = 20;
        options.prompts = &prompts;
        program = std::make_unique<ui::Program>(options);
        program->Window().show();
        QCoreApplication::processEvents();
        Form().SetupModel("Q4200", 'P');
    }
    void TearDown() override {
        program.reset();
        std::filesystem::remove(settingsPath);
    }

    editor::Form& Form() { return program->Form(); }
    template <typename T> T* Find(const char* name) {
        return program->Window().findChild<T*>(QString::fromUtf8(name));
    }
    // The page in front, in the active window, so that focus moves happen as a user's would.
    void ShowPage(const char* page) {
        Form().SelectPage(Form().PageIndex(page));
        program->Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&program->Window()));
    }
    // The focus moves from the edit to the first button of a radio group on the same page.
    void Leave(QLineEdit* edit, const char* group) {
        edit->setFocus();
        Find<QGroupBox>(group)->findChildren<QRadioButton*>()[0]->setFocus();
    }

    test::FakePorts ports;
    std::string settingsPath;
    host::ScriptedPrompts prompts;
    std::unique_ptr<ui::Program> program;
};

} // namespace

TEST_F(RulesGuiTest, ALetterTypedIntoANumberEditDoesNotArrive) {
    ShowPage("FlowrateSheet");
    auto* edit = Find<QLineEdit>("FlowratePulsesEdit");
    ASSERT_TRUE(edit->isVisible());
    edit->setFocus();
    QTest::keyClicks(edit, "3a0");
    EXPECT_EQ(edit->text(), "30");
    EXPECT_EQ(Form()["FlowratePulsesEdit"].text, "30");
    EXPECT_EQ(Find<QLabel>("FlowratePulsesValueLabel")->text(), "30");
}

TEST_F(RulesGuiTest, LeavingAnEditRunsItsCorrection) {
    ShowPage("FlowrateSheet");
    auto* pulses = Find<QLineEdit>("FlowratePulsesEdit");
    pulses->setFocus();
    QTest::keyClicks(pulses, "300");
    EXPECT_EQ(pulses->text(), "300"); // no correction while the user is still in the field
    Leave(pulses, "FlowrateIntervalGroup");
    EXPECT_EQ(pulses->text(), "255");

    auto* cutoff = Find<QLineEdit>("FlowrateCutoffEdit");
    cutoff->setFocus();
    cutoff->selectAll();
    QTest::keyClick(cutoff, Qt::Key_Delete);
    Leave(cutoff, "FlowrateIntervalGroup");
    EXPECT_EQ(cutoff->text(), "1");
    EXPECT_EQ(Find<QLabel>("FlowrateCutoffValueLabel")->text(), "0.1");
}

TEST_F(RulesGuiTest, TheDelayIsCorrectedWhileTyping) {
    ShowPage("CommunicationSheet");
    auto* delay = Find<QLineEdit>("CommDelayEdit");
    delay->setFocus();
    delay->selectAll();
    QTest::keyClicks(delay, "2");
    EXPECT_EQ(delay->text(), "15");
    delay->end(false);
    QTest::keyClicks(delay, "0");
    EXPECT_EQ(delay->text(), "150");
}

TEST_F(RulesGuiTest, PagesForTheDocumentation) {
    const QString folder = qEnvironmentVariable("VANTREL_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "VANTREL_SCREENSHOTS names no folder";
    QDir().mkpath(folder);
    editor::Form& f = Form();
    f.ShowPopups = false; // the unit-type question is answered in advance

    f.SetItemIndex("FlowmeterConversionGroup", 0);
    f.SetItemIndex("TotalUnitGroup", 2);
    f.SetItemIndex("TotalDecimalsGroup", 2);
    f.SetItemIndex("TotalKFactorDecimalsGroup", 3);
    f.SetText("TotalKFactorEdit", "12500");
    ShowPage("TotalSheet");
    QTest::qWait(100);
    EXPECT_TRUE(program->Window().grab().save(folder + "/total.png"));

    f.SetItemIndex("FlowmeterConversionGroup", 1);
    f.SetItemIndex("FlowmeterSignalGroup", 8);
    f.SetItemIndex("FlowmeterUnitGroup", 3);
    f.SetItemIndex("FlowmeterKFactorDecimalsGroup", 3);
    f.SetText("FlowmeterKFactorEdit", "47310");
    ShowPage("FlowmeterSheet");
    QTest::qWait(100);
    EXPECT_TRUE(program->Window().grab().save(folder + "/flowmeter.png"));

    f.SetItemIndex("LinearisationEnableGroup", 1);
    f.SetItemIndex("LinearisationDecimalsGroup", 1);
    const char* const points[][3] = {{"1", "25", "1012000"},
                                     {"2", "150", "1004500"},
                                     {"3", "800", "1000000"},
                                     {"4", "2500", "996800"},
                                     {"5", "6000", "993100"}};
    for (const auto& point : points) {
        f.SetText(std::string("FrequencyEdit") + point[0], point[1]);
        f.SetText(std::string("FactorEdit") + point[0], point[2]);
    }
    ShowPage("LinearisationSheet");
    QTest::qWait(100);
    EXPECT_TRUE(program->Window().grab().save(folder + "/linearization.png"));
}
