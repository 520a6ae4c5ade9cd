// The log data window through the Qt face, opened by the main window's "Read log data"
// against the simulated unit's logger: the lists, a readout's text and progress, closing.

#include "device/LogdataForm.h"
#include "host/ScriptedPrompts.h"
#include "modbus/Bus.h"
#include "modbus/PortSetup.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/gui/SimProgram.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/LogdataDialog.h"
#include "ui/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

using namespace vantrel;
using host::PromptAnswer;

namespace {

template <typename T> T* In(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromUtf8(name));
}

class LogdataGui : public test::SimProgramTest {
protected:
    void Start() {
        sim::UnitOptions options;
        options.model = sim::Model::Q4200;
        options.logger = true;
        options.serial = 4321;
        options.logRecords = {5, 2, 0};
        StartProgram(options, true);
        if (HasFatalFailure())
            return;

        // Connected, without reading the configuration.
        prompts.answers = {PromptAnswer::No};
        QTest::mouseClick(Button("ConnectButton"), Qt::LeftButton);
        ASSERT_EQ(program->device.SerialNumber, 4321);
        ASSERT_TRUE(Button("LogdataButton")->isEnabled());
        prompts.shown.clear();
    }

    QPushButton* Button(const char* name) {
        return program->Window().findChild<QPushButton*>(QString::fromUtf8(name));
    }

    // Runs act on the log window as soon as it shows its lists (while "Read log data" waits
    // for it).
    void WhenWindowShows(std::function<void(ui::LogdataDialog&)> act) {
        WhenShown<ui::LogdataDialog>("TLogdataForm", std::move(act), [](ui::LogdataDialog& w) {
            return In<QComboBox>(w, "cbLogLists")->count() > 0;
        });
    }
};

TEST_F(LogdataGui, ReadsAListIntoTheWindowAndCloses) {
    Start();
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<std::string> records = unit->GetLogList(0).records;
    bool mainEnabledMeanwhile = true;
    int triesMeanwhile = 0;
    WhenWindowShows([&](ui::LogdataDialog& window) {
        mainEnabledMeanwhile = program->Window().centralWidget()->isEnabled();
        triesMeanwhile = program->Bus().ModThread()->Retries();
        EXPECT_EQ(window.windowTitle(), "Vantrel - Logdata");
        EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed size";
        EXPECT_EQ(In<QLabel>(window, "Label1")->text(), "Select a log list to read:");
        auto* lists = In<QComboBox>(window, "cbLogLists");
        EXPECT_EQ(lists->placeholderText(), "<< select >>");
        EXPECT_EQ(lists->currentIndex(), -1);
        QStringList items;
        for (int i = 0; i < lists->count(); ++i)
            items << lists->itemText(i);
        EXPECT_EQ(items, QStringList({"RUNTIME LIST", "EVENT LIST", "ALARM LIST"}));
        EXPECT_EQ(In<QPushButton>(window, "SaveButton")->text(), "&Save log data");
        EXPECT_EQ(In<QToolButton>(window, "SpeedButton1")->toolTip(), "Show / Hide Modbus Setup");
        auto* memo = In<QPlainTextEdit>(window, "Memo3");
        EXPECT_TRUE(memo->isReadOnly());
        EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        auto* read = In<QPushButton>(window, "btnReadData");
        EXPECT_EQ(read->text(), "Read data");

        lists->setCurrentIndex(0);
        emit lists->activated(0);
        QTest::mouseClick(read, Qt::LeftButton); // returns when the readout has ended

        const QStringList lines = memo->toPlainText().split('\n');
        ASSERT_EQ(lines.size(), 4 + 6 + 3);
        EXPECT_TRUE(lines[0].startsWith("Readout of RUNTIME LIST for s/n 0004321 at "));
        EXPECT_EQ(lines[1], "There are 5 records in this list.");
        EXPECT_EQ(lines[3], "## read;DATE;TIME;FLOWRATE;TOTAL");
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(lines[4 + i],
                      QString("000000%1;").arg(i + 1) + QString::fromStdString(records[i]));
        EXPECT_EQ(lines[9], "0000006;NO RECORD FOUND");
        EXPECT_EQ(lines.last(), "Total number of retries: 0");
        EXPECT_EQ(In<QLineEdit>(window, "lblHeader")->text(), "## read;DATE;TIME;FLOWRATE;TOTAL");
        auto* progress = In<QProgressBar>(window, "ReadProgress");
        EXPECT_EQ(progress->maximum(), 5);
        EXPECT_EQ(progress->value(), 5);
        EXPECT_EQ(read->text(), "Read data");

        prompts.answers = {PromptAnswer::No}; // not saved: leave it
        window.close();
    });
    QTest::mouseClick(Button("LogdataButton"), Qt::LeftButton);

    EXPECT_EQ(windowsShown, 1);
    EXPECT_FALSE(mainEnabledMeanwhile);
    EXPECT_EQ(triesMeanwhile, 1);
    EXPECT_TRUE(program->Window().centralWidget()->isEnabled());
    EXPECT_EQ(program->Window().findChild<ui::LogdataDialog*>("TLogdataForm"), nullptr)
        << "destroyed after its one use";
    EXPECT_EQ(program->Bus().ModThread()->Retries(), 2);
    EXPECT_EQ(program->Setup().GetRetries(), 2);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "You have not saved your data, would you like to do this now?");
}

TEST_F(LogdataGui, SpeedButtonShowsAndHidesThePortSetup) {
    Start();
    ASSERT_FALSE(HasFatalFailure());
    WhenWindowShows([&](ui::LogdataDialog& window) {
        auto* speed = In<QToolButton>(window, "SpeedButton1");
        QTest::mouseClick(speed, Qt::LeftButton);
        EXPECT_TRUE(program->Setup().visible);
        QTest::mouseClick(speed, Qt::LeftButton);
        EXPECT_FALSE(program->Setup().visible);
        window.close();
    });
    QTest::mouseClick(Button("LogdataButton"), Qt::LeftButton);
    EXPECT_EQ(windowsShown, 1);
    EXPECT_TRUE(prompts.shown.empty()) << "nothing read, nothing to save";
}

} // namespace
