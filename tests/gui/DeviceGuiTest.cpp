// The device runs through the Qt face, against the simulated unit on a pseudo-terminal: the
// "Configure as" dialog for a unit of a model the tool does not accept, and a new user's whole
// round (connect, read, edit, write, the operator values) with the prompts answered by script.

#include "device/ConnectionForm.h"
#include "editor/Form.h"
#include "host/ScriptedPrompts.h"
#include "modbus/Bus.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/gui/SimProgram.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/ConnectionDialog.h"
#include "ui/PanelBar.h"
#include "ui/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QDateEdit>
#include <QTimeEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

using namespace vantrel;
using host::PromptAnswer;
using host::PromptIcon;

namespace {

class DeviceGui : public test::SimProgramTest {
protected:
    void Start(const sim::UnitOptions& options, bool popups) { StartProgram(options, popups); }

    editor::Form& Form() { return program->Form(); }
    ui::TConfigForm& Window() { return program->Window(); }
    template <typename T> T* Find(const char* name) {
        return Window().findChild<T*>(QString::fromUtf8(name));
    }
    void ClickButton(const char* name) {
        auto* button = Find<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isEnabled()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    std::string LabelText(const char* name) { return Find<QLabel>(name)->text().toStdString(); }

    // Runs act on the "Configure as" dialog as soon as it shows (while the identification
    // waits for it in the event loop).
    void WhenDialogShows(std::function<void(ui::ConnectionDialog&)> act) {
        WhenShown<ui::ConnectionDialog>("TConnectionForm", std::move(act));
    }
};

sim::UnitOptions Unit(sim::Model model, bool logger) {
    sim::UnitOptions options;
    options.model = model;
    options.logger = logger;
    return options;
}

template <typename T> T* In(QWidget& dialog, const char* name) {
    return dialog.findChild<T*>(QString::fromUtf8(name));
}

} // namespace

TEST_F(DeviceGui, ConfigureAsDialogShowsTheModelAndAnswersIt) {
    // "R212-P" is not in the model list: with popups off the user is asked what it is.
    Start(Unit(sim::Model::R212P, false), false);
    ASSERT_FALSE(HasFatalFailure());
    WhenDialogShows([this](ui::ConnectionDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "ConnectionForm");
        EXPECT_FALSE(dialog.isModal());
        EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
        const QRect main = Window().frameGeometry();
        EXPECT_LE((dialog.frameGeometry().center() - main.center()).manhattanLength(), 4)
            << "centred on the main window";
        const std::string message = In<QLabel>(dialog, "lblMessage")->text().toStdString();
        EXPECT_EQ(message.rfind("A device with an invalid modelnumber was detected.\n\n"
                                "Serialnumber:\t1234567\nModel:\t\t212\n",
                                0),
                  0u)
            << message;
        EXPECT_EQ(In<QLabel>(dialog, "Label1")->text(), "Configure as:");
        auto* units = In<QComboBox>(dialog, "cbUnitSelect");
        EXPECT_EQ(units->currentIndex(), -1);
        EXPECT_EQ(units->placeholderText(), "<< select device type >>");
        QStringList items;
        for (int i = 0; i < units->count(); ++i)
            items << units->itemText(i);
        EXPECT_EQ(items, QStringList({"R210-A", "R210-P", "R210-P-HX", "R212-A", "R212-P",
                                      "R212-P-HX"}));
        EXPECT_FALSE(In<QWidget>(dialog, "btnRetryConnect")->isVisible());
        EXPECT_FALSE(In<QWidget>(dialog, "sbDetectProgress")->isVisible());

        // "Connect" with nothing chosen keeps the dialog open.
        auto* connectButton = In<QPushButton>(dialog, "btnConnectUnitAs");
        EXPECT_EQ(connectButton->text(), "Connect");
        QTest::mouseClick(connectButton, Qt::LeftButton);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, "You have not selected a device for configuration.");
        EXPECT_EQ(prompts.shown[0].caption, "Please select device");
        EXPECT_TRUE(dialog.isVisible());

        units->setCurrentIndex(4);
        emit units->activated(4);
        QTest::mouseClick(connectButton, Qt::LeftButton);
    });
    ClickButton("ConnectButton");

    EXPECT_EQ(windowsShown, 1);
    EXPECT_EQ(Window().findChild<ui::ConnectionDialog*>("TConnectionForm"), nullptr)
        << "destroyed after its one use";
    // Accepted as "R212-P" and, popups off, read at once.
    EXPECT_EQ(program->device.Model, "R212-P");
    EXPECT_EQ(program->device.Variant, 'P');
    EXPECT_EQ(program->device.SerialNumber, 1234567);
    EXPECT_EQ(Find<QLineEdit>("TotalKFactorEdit")->text(), "123456");
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1),
              " Status: values were read correctly from the device.");
    EXPECT_TRUE(Window().centralWidget()->isEnabled());
    EXPECT_EQ(Find<QPushButton>("ConnectButton")->text().remove('&'), "Release device");
    EXPECT_EQ(prompts.shown.size(), 1u) << "no question and no success message";
}

TEST_F(DeviceGui, NoOtherRunStartsWhileTheDialogAsksAfterARestart) {
    sim::UnitOptions options = Unit(sim::Model::R212P, false);
    options.rebootSilence = std::chrono::milliseconds(100);
    Start(options, false);
    ASSERT_FALSE(HasFatalFailure());
    const auto configureAs = [](int item) {
        return [item](ui::ConnectionDialog& dialog) {
            auto* units = In<QComboBox>(dialog, "cbUnitSelect");
            units->setCurrentIndex(item);
            emit units->activated(item);
            QTest::mouseClick(In<QPushButton>(dialog, "btnConnectUnitAs"), Qt::LeftButton);
        };
    };
    WhenDialogShows(configureAs(4)); // "R212-P"
    ClickButton("ConnectButton");
    ASSERT_EQ(program->device.Model, "R212-P");
    ASSERT_TRUE(Window().centralWidget()->isEnabled());

    // Restart: the identification that follows asks again, with the window enabled around
    // it; the window stays closed to the user until the dialog is answered.
    bool enabledWhileAsking = true;
    WhenDialogShows([&](ui::ConnectionDialog& dialog) {
        enabledWhileAsking = Window().centralWidget()->isEnabled() || Form().enabled;
        QTest::mouseClick(In<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
    });
    ClickButton("RestartButton");
    EXPECT_EQ(windowsShown, 2);
    EXPECT_EQ(unit->Counters().restarts, 1u);
    EXPECT_FALSE(enabledWhileAsking);
    EXPECT_TRUE(Window().centralWidget()->isEnabled()) << "enabled again afterwards";
    EXPECT_EQ(program->device.SerialNumber, -1) << "cancelled: no unit";
}

TEST_F(DeviceGui, ConfigureAsDialogLeftWithoutAUnit) {
    // Each way out that does not configure the unit leaves no unit connected.
    struct Case {
        const char* what;
        std::function<void(ui::ConnectionDialog&)> act;
    };
    const Case cases[] = {
        {"Cancel",
         [](ui::ConnectionDialog& d) {
             QTest::mouseClick(In<QPushButton>(d, "btnCancel"), Qt::LeftButton);
         }},
        {"window closed", [](ui::ConnectionDialog& d) { d.close(); }},
        {"Escape", [](ui::ConnectionDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"a model the window does not know",
         [](ui::ConnectionDialog& d) {
             auto* units = In<QComboBox>(d, "cbUnitSelect");
             units->setCurrentIndex(5); // "R212-P-HX"
             emit units->activated(5);
             QTest::mouseClick(In<QPushButton>(d, "btnConnectUnitAs"), Qt::LeftButton);
         }},
    };
    Start(Unit(sim::Model::R210P, false), false);
    ASSERT_FALSE(HasFatalFailure());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windowsShown = 0;
        WhenDialogShows(c.act);
        ClickButton("ConnectButton");
        EXPECT_EQ(windowsShown, 1);
        EXPECT_EQ(program->device.SerialNumber, -1);
        EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1), " Status: no device connected");
        EXPECT_EQ(Find<QPushButton>("ConnectButton")->text().remove('&'), "Connect device");
        EXPECT_TRUE(Window().centralWidget()->isEnabled());
        EXPECT_EQ(Window().findChild<ui::ConnectionDialog*>("TConnectionForm"), nullptr);
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST(DeviceGuiProgress, TheBarFollowsTheFormsProgress) {
    test::FakePorts ports;
    host::ScriptedPrompts prompts;
    ui::ProgramOptions options;
    options.settingsPath = testing::TempDir() + "/vantrel-progress-" +
                           std::to_string(::getpid()) + ".ini";
    options.ports = &ports;
    options.splashMs = 20;
    options.prompts = &prompts;
    ui::Program program(options);
    program.Window().show();
    QCoreApplication::processEvents();
    QProgressBar* bar = program.Window().ProgressBar1();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    const int panelsWidth = program.Window().StatusBar1()->width();

    program.Form().SetProgress(3, 120);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 120);
    EXPECT_EQ(bar->value(), 3);
    program.Form().SetProgress(120, 120);
    EXPECT_EQ(bar->value(), 120);
    QCoreApplication::processEvents();
    // Beside the panels, not over them: the status texts keep their places.
    EXPECT_GE(bar->geometry().left(), program.Window().StatusBar1()->geometry().right());
    EXPECT_EQ(program.Window().StatusBar1()->PanelRect(2).right(),
              program.Window().StatusBar1()->width() - 1);

    program.Form().SetProgress(0, 0);
    EXPECT_FALSE(bar->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(program.Window().StatusBar1()->width(), panelsWidth);
    std::filesystem::remove(options.settingsPath);
}

namespace {

// The labels of the Runtime Values page are written with the user's decimal separator.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) : saved_(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

} // namespace

TEST_F(DeviceGui, ANewUserReadsEditsWritesAndSeesTheOperatorValues) {
    const LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    // The unit's process values stand still, so that the page can be compared.
    sim::UnitOptions options = Unit(sim::Model::Q4200, true);
    options.serial = 7654321;
    Start(options, true);
    ASSERT_FALSE(HasFatalFailure());
    unit->UseManualClock(true);
    unit->SetFlowProfile(12345, 0, 1.0);
    unit->SetTotals(9876543, 4321);
    ASSERT_TRUE(unit->SetRegister(516, 7));

    // Connect, "Read current configuration from device?" Yes; the run shows its progress.
    int progressSeen = 0, progressTotal = 0;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QProgressBar* bar = Window().ProgressBar1();
        if (bar->isVisible() && bar->value() > 0 && bar->value() < bar->maximum()) {
            ++progressSeen;
            progressTotal = bar->maximum();
            EXPECT_FALSE(Window().centralWidget()->isEnabled()) << "disabled while it reads";
        }
    });
    watch.start();
    ClickButton("ConnectButton");
    watch.stop();

    ASSERT_GE(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text, "Found a device!\r\n\r\nSerialnumber:\t7654321\r\nModel:\t\t"
                                     "Q4200\r\nVersion:\t\t03:01:05\r\n\r\n"
                                     "Read current configuration from device?");
    EXPECT_EQ(prompts.shown[1].text, "Read out all values correctly.");
    EXPECT_EQ(prompts.shown[1].caption, "Read Device");
    EXPECT_EQ(prompts.shown.size(), 2u);
    EXPECT_GT(progressSeen, 0) << "the progress bar showed the run";
    EXPECT_GT(progressTotal, 50);
    EXPECT_FALSE(Window().ProgressBar1()->isVisible()) << "gone once the run ended";
    EXPECT_TRUE(Window().centralWidget()->isEnabled());
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(0),
              " Current device: 7654321/Q4200/03:01:05");
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1),
              " Status: values were read correctly from the device.");
    EXPECT_EQ(Window().PageControl1()->currentWidget()->objectName().toStdString(), "ConfigurationSheet");

    // The Runtime Values page shows the unit's values, scaled, with the decimal comma.
    QTabWidget* pages = Window().PageControl1();
    pages->setCurrentIndex(Form().PageIndex("RuntimeSheet"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Find<QLabel>("FlowrateValueLabel")->isVisible());
    EXPECT_EQ(LabelText("FlowrateValueLabel"), "123,45"); // flow-rate decimals 2
    EXPECT_EQ(LabelText("TotalValueLabel"), "432,1");     // total decimals 1
    EXPECT_EQ(LabelText("AccTotalValueLabel"), "987654,3");
    EXPECT_EQ(LabelText("lblBatteryStatus"), "1 - Battery power normal");
    EXPECT_EQ(LabelText("lblErrorStatus"), "7");
    for (const char* name : {"FlowrateValueLabel", "AccTotalValueLabel", "lblBatteryStatus"}) {
        auto* label = Find<QLabel>(name);
        EXPECT_GE(label->width(), label->sizeHint().width()) << name << " shows all its text";
    }

    // Edit: the tag number typed on the Others page, the display function clicked.
    pages->setCurrentIndex(Form().PageIndex("OthersSheet"));
    QCoreApplication::processEvents();
    auto* tag = Find<QLineEdit>("OthersTagEdit");
    tag->setFocus();
    tag->selectAll();
    QTest::keyClicks(tag, "47x11");
    EXPECT_EQ(tag->text(), "4711") << "digits only";
    pages->setCurrentIndex(Form().PageIndex("DisplaySheet"));
    QCoreApplication::processEvents();
    QRadioButton* rate = nullptr;
    for (QRadioButton* radio : Window().Widget("DisplayFunctionGroup")->findChildren<QRadioButton*>())
        if (radio->text() == "Rate")
            rate = radio;
    ASSERT_NE(rate, nullptr);
    QTest::mouseClick(rate, Qt::LeftButton, {}, QPoint(4, rate->height() / 2));
    EXPECT_EQ(Form()["DisplayFunctionGroup"].itemIndex, 1);
    EXPECT_EQ(Form()["OthersTagEdit"].text, "4711");

    // The unit's clock: manual time typed into the picker, the date set to today.
    pages->setCurrentIndex(Form().PageIndex("LogParamSheet"));
    QCoreApplication::processEvents();
    auto* pickTime = Find<QTimeEdit>("pickTime");
    EXPECT_FALSE(pickTime->isEnabled());
    ClickButton("btnUpdateTime");
    EXPECT_EQ(Find<QPushButton>("btnUpdateTime")->text(), "Use local time");
    EXPECT_TRUE(pickTime->isEnabled());
    EXPECT_EQ(pickTime->time(), QTime(0, 0, 0));
    pickTime->setTime(QTime(12, 34, 56));
    EXPECT_EQ(Form()["pickTime"].time.hour, 12);
    auto* pickDate = Find<QDateEdit>("pickDate");
    pickDate->setDate(QDate(2020, 1, 1));
    ClickButton("btnUpdateDate");
    const QDate today = QDate::currentDate();
    EXPECT_EQ(pickDate->date(), today);

    // Write to device, confirmed; the unit holds the edited values afterwards.
    prompts.shown.clear();
    unit->ClearWrites();
    ClickButton("UploadButton");
    ASSERT_GE(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "This will change the configuration in the device.\r\n\r\nDo you wish to continue?");
    EXPECT_EQ(prompts.shown[0].caption, "Write to device");
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Written all values correctly.");
    EXPECT_EQ(prompts.shown[1].caption, "Write Device");
    EXPECT_EQ(unit->Value(170, 3), 4711u);
    EXPECT_EQ(unit->Register(64), 1u);
    EXPECT_GT(unit->Writes().size(), 40u);
    const auto written = [this](uint16_t reg) {
        uint64_t value = 0;
        for (const sim::WriteRecord& w : unit->Writes())
            if (w.reg == reg) {
                value = 0;
                for (uint16_t v : w.values)
                    value = value << 16 | v;
            }
        return value;
    };
    EXPECT_EQ(written(176), 123456u) << "the picker's time, hhnnss";
    EXPECT_EQ(written(179), static_cast<uint64_t>((today.year() % 100) * 10000 +
                                                  today.month() * 100 + today.day()))
        << "the picker's date, yyMMdd";
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1),
              " Status: values were written correctly to the device.");
    EXPECT_EQ(pages->currentWidget()->objectName().toStdString(), "LogParamSheet")
        << "the page active before the run";
    EXPECT_TRUE(Window().centralWidget()->isEnabled());
    EXPECT_FALSE(Window().ProgressBar1()->isVisible());

    // Refresh on the Runtime Values page reads the values anew.
    unit->SetTotals(9876543, 5000);
    pages->setCurrentIndex(Form().PageIndex("RuntimeSheet"));
    QCoreApplication::processEvents();
    ClickButton("RefeshButton");
    EXPECT_EQ(LabelText("TotalValueLabel"), "500,0");
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1),
              " Status: operator values were read correctly from the device.");
    EXPECT_TRUE(Window().centralWidget()->isEnabled());

    // Clear Total sets the unit's resettable total to zero; the accumulated one stays.
    prompts.shown.clear();
    ClickButton("ClearTotalButton");
    EXPECT_EQ(unit->ResettableTotal(), 0u);
    EXPECT_EQ(unit->AccumulatedTotal(), 9876543u);
    EXPECT_EQ(LabelText("TotalValueLabel"), "0,0");
    EXPECT_EQ(LabelText("AccTotalValueLabel"), "987654,3");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Cleared total value correctly.");
    EXPECT_EQ(prompts.shown[0].caption, "Clear Total");
    EXPECT_TRUE(Window().centralWidget()->isEnabled());
}

TEST(DeviceGuiScroll, ARunBringsTheRowItWorksOnIntoView) {
    test::FakePorts ports;
    host::ScriptedPrompts prompts;
    ui::ProgramOptions options;
    options.settingsPath =
        testing::TempDir() + "/vantrel-scroll-" + std::to_string(::getpid()) + ".ini";
    options.ports = &ports;
    options.splashMs = 20;
    options.prompts = &prompts;
    ui::Program program(options);
    program.Window().resize(1040, 640);
    program.Window().show();
    editor::Form& form = program.Form();
    form.SetupModel("Q4200", 'P');
    form.SelectPage(form.PageIndex("LinearisationSheet"));
    QCoreApplication::processEvents();

    QWidget* last = program.Window().Widget("FrequencyEditF");
    ASSERT_NE(last, nullptr);
    QScrollArea* table = nullptr;
    for (QWidget* w = last->parentWidget(); w && !table; w = w->parentWidget())
        table = qobject_cast<QScrollArea*>(w);
    ASSERT_NE(table, nullptr);
    QScrollBar* bar = table->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the table is taller than its box";
    EXPECT_EQ(bar->value(), 0);

    form.ensureVisible("FrequencyEditF");
    EXPECT_EQ(bar->value(), bar->maximum());
    const QPoint at = last->mapTo(table->viewport(), QPoint(0, 0));
    EXPECT_TRUE(table->viewport()->rect().contains(QRect(at, last->size())))
        << at.x() << "," << at.y() << " in " << table->viewport()->width() << "x"
        << table->viewport()->height();
    form.ensureVisible("FrequencyEdit1");
    EXPECT_EQ(bar->value(), 0);
    std::filesystem::remove(options.settingsPath);
}
