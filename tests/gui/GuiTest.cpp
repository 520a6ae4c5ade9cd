// The Qt face against its models, on the offscreen platform: every control has its widget,
// Form changes show, user input reaches the Form, pages hide as tabs, the about box and the
// splash, Port Setup against the simulated unit, and the Qt pump's waits.

#include "editor/Form.h"
#include "modbus/Bus.h"
#include "modbus/PortSetup.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/ModConfigForm.h"
#include "ui/ModbusBar.h"
#include "ui/PanelBar.h"
#include "ui/Program.h"
#include "ui/StartUpForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <atomic>
#include <filesystem>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace vantrel;
using namespace std::chrono_literals;

namespace {

std::string TempSettings() {
    static int count = 0;
    const std::string path = testing::TempDir() + "/vantrel-gui-" + std::to_string(::getpid()) +
                             "-" + std::to_string(++count) + ".ini";
    std::filesystem::remove(path);
    return path;
}

class GuiTest : public testing::Test {
protected:
    void SetUp() override { Start(); }
    void TearDown() override {
        program.reset();
        std::filesystem::remove(settingsPath);
    }

    void Start() {
        program.reset();
        settingsPath = TempSettings();
        ui::ProgramOptions options;
        options.settingsPath = settingsPath;
        options.ports = &ports;
        options.splashMs = 20;
        program = std::make_unique<ui::Program>(options);
        program->Window().show();
        QCoreApplication::processEvents();
    }

    editor::Form& Form() { return program->Form(); }
    ui::TConfigForm& Window() { return program->Window(); }
    template <typename T> T* Find(const char* name) {
        return Window().findChild<T*>(QString::fromUtf8(name));
    }
    template <typename T> T* FindInSetup(const char* name) {
        return Window().ModConfigForm()->findChild<T*>(QString::fromUtf8(name));
    }

    test::FakePorts ports;
    std::string settingsPath;
    std::unique_ptr<ui::Program> program;
};

} // namespace

TEST_F(GuiTest, EveryControlAndPageHasItsWidget) {
    for (const editor::Control& c : Form().Controls()) {
        QWidget* w = Window().findChild<QWidget*>(QString::fromStdString(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w, Window().Widget(c.name)) << c.name;
    }
    QTabWidget* pages = Window().PageControl1();
    ASSERT_EQ(pages->objectName(), "PageControl1");
    ASSERT_EQ(pages->count(), static_cast<int>(Form().Pages().size()));
    for (int i = 0; i < pages->count(); ++i) {
        EXPECT_EQ(pages->widget(i)->objectName().toStdString(), Form().Pages()[i].name);
        EXPECT_EQ(pages->tabText(i).toStdString(), Form().Pages()[i].caption);
    }
    EXPECT_NE(Find<ui::PanelBar>("StatusBar1"), nullptr);
    EXPECT_NE(Find<ui::TModbus>("Modbus1"), nullptr);
    EXPECT_EQ(Window().windowTitle(), "Vantrel");
    EXPECT_EQ(Find<QLineEdit>("TotalKFactorEdit")->maxLength(), 7);
    EXPECT_EQ(Find<QTimeEdit>("DataLogDaily1")->displayFormat(), "HH:mm");
    EXPECT_EQ(Find<QTimeEdit>("pickTime")->displayFormat(), "HH:mm:ss");

    // The unit buttons carry their tags.
    auto* units = Find<QGroupBox>("TotalUnitGroupBox");
    ASSERT_NE(units, nullptr);
    const auto buttons = units->findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 11);
    EXPECT_EQ(buttons[1]->text(), "L");
    EXPECT_EQ(buttons[1]->property("UnitTag").toInt(), 10101);
}

TEST_F(GuiTest, PortSetupHasEveryControl) {
    for (const char* name : {"Label8",
                             "AllPortsCheckBox",
                             "ComPortComboBox",
                             "Label9",
                             "ComSpeedComboBox",
                             "Label10",
                             "ComDatabitsComboBox",
                             "Label11",
                             "ComParityComboBox",
                             "Label12",
                             "ComStopbitsComboBox",
                             "ReleaseButton",
                             "ConnectButton",
                             "PortsChangedLabel",
                             "ComportChanged",
                             "ComportStatusBar",
                             "Label6",
                             "ProtocolASCIIRadio",
                             "ProtocolRTURadio",
                             "BusAddressLabel",
                             "BusAddressEdit",
                             "BusAddressUpDown",
                             "Label5",
                             "RetriesEdit",
                             "RetriesUpDown",
                             "Label4",
                             "ResponseEdit",
                             "ResponseUpDown",
                             "Label7",
                             "RTUEdit",
                             "RTUUpDown",
                             "MiscellaneousBox",
                             "LockCheckBox",
                             "OnTopCheckBox",
                             "CV700ProtocolCheckBox",
                             "CloseButton"})
        EXPECT_NE(FindInSetup<QWidget>(name), nullptr) << name;

    // The main window's start-up settings of the dialog.
    ui::TModConfigForm* dialog = Window().ModConfigForm();
    EXPECT_EQ(dialog->windowTitle(), "Port Setup");
    EXPECT_EQ(FindInSetup<QLabel>("Label4")->text(), "No response time-out");
    EXPECT_FALSE(FindInSetup<QWidget>("MiscellaneousBox")->isVisibleTo(dialog));
    EXPECT_EQ(FindInSetup<QLineEdit>("RTUEdit")->text(), "20");
    EXPECT_EQ(FindInSetup<QLineEdit>("ResponseEdit")->maxLength(), 4);
    EXPECT_TRUE(FindInSetup<QWidget>("BusAddressEdit")->isVisibleTo(dialog));
    EXPECT_EQ(FindInSetup<QComboBox>("ComSpeedComboBox")->currentText(), "9600");
    EXPECT_TRUE(FindInSetup<QRadioButton>("ProtocolRTURadio")->isChecked());
}

TEST_F(GuiTest, FormChangesShowInTheWidgets) {
    Form().SetText("TotalKFactorEdit", "1234");
    EXPECT_EQ(Find<QLineEdit>("TotalKFactorEdit")->text(), "1234");

    Form().SetItemIndex("TotalDecimalsGroup", 2);
    auto* decimals = Find<QGroupBox>("TotalDecimalsGroup");
    EXPECT_TRUE(decimals->findChildren<QRadioButton*>()[2]->isChecked());
    Form().SetItemIndex("TotalDecimalsGroup", -1);
    for (QRadioButton* b : decimals->findChildren<QRadioButton*>())
        EXPECT_FALSE(b->isChecked());

    Form().SetEnabled("TotalKFactorEdit", false);
    EXPECT_FALSE(Find<QLineEdit>("TotalKFactorEdit")->isEnabled());
    Form().SetCaption("ConnectButton", "Release device");
    // The button keeps its key (Alt+C), marked in the caption it shows.
    EXPECT_EQ(Find<QPushButton>("ConnectButton")->text(), "Release devi&ce");
    Form().SetVisible("Button13", true);
    EXPECT_TRUE(Find<QPushButton>("Button13")->isVisibleTo(Window().PageControl1()->widget(13)));
    Form().SetTime("DataLogDaily1", {7, 45, 0});
    EXPECT_EQ(Find<QTimeEdit>("DataLogDaily1")->time(), QTime(7, 45));
    Form().SetStatus(1, " Status: testing");
    EXPECT_EQ(Find<ui::PanelBar>("StatusBar1")->Text(1), " Status: testing");
    // The status text takes the bar's spare width: the longest of the tool's own reads whole.
    auto* bar = Find<ui::PanelBar>("StatusBar1");
    const QString modified = " Status: values need to be read from or written to the device";
    EXPECT_GT(bar->PanelRect(1).width(), bar->fontMetrics().horizontalAdvance(modified) + 8);
    EXPECT_EQ(bar->PanelRect(2).right(), bar->width() - 1) << "\"About...\" at the right end";
    EXPECT_EQ(bar->PanelRect(2).width(), 74);
    // A text too long for its panel shows whole as the panel's tool tip.
    const std::string longText = " Status: " + std::string(200, 'x');
    Form().SetStatus(1, longText);
    const QPoint inPanel(400, 5);
    QHelpEvent help(QEvent::ToolTip, inPanel, bar->mapToGlobal(inPanel));
    QApplication::sendEvent(bar, &help);
    EXPECT_EQ(QToolTip::text().toStdString(), longText.substr(1));
    QToolTip::hideText();
    Form().SetHighlighted("TotalDecimalsGroup", true);
    EXPECT_TRUE(decimals->font().bold());

    // The whole window follows the Form's enabled flag.
    Form().enabled = false;
    Form().windowChanged();
    EXPECT_FALSE(Find<QPushButton>("ModbusButton")->isEnabled());
    Form().enabled = true;
    Form().windowChanged();
    EXPECT_TRUE(Find<QPushButton>("ModbusButton")->isEnabled());
}

TEST_F(GuiTest, UserInputReachesTheForm) {
    Form().SetupModel("Q4200", 'P');
    // "Hand" conversion: the Total page carries its own K-factor (set as a file load would).
    Form().BulkLoading = true;
    Form().SetItemIndex("FlowmeterConversionGroup", 0);
    Form().BulkLoading = false;
    Form().SelectPage(Form().PageIndex("TotalSheet"));
    auto* edit = Find<QLineEdit>("TotalKFactorEdit");
    ASSERT_TRUE(edit->isVisible());
    edit->setFocus();
    QTest::keyClicks(edit, "12a3");
    EXPECT_EQ(Form()["TotalKFactorEdit"].text, "123"); // the letter never arrives
    EXPECT_EQ(edit->text(), "123");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Form()["TotalKFactorEdit"].text, "12");
    QTest::keyClicks(edit, "456789");
    EXPECT_EQ(Form()["TotalKFactorEdit"].text, "1245678"); // at most 7 characters

    // Any character goes into the password.
    Form().SelectPage(Form().PageIndex("OthersSheet"));
    auto* password = Find<QLineEdit>("OthersPasswordEdit");
    QTest::keyClicks(password, "ab1");
    EXPECT_EQ(Form()["OthersPasswordEdit"].text, "ab1");

    // A radio click selects; a click on "Next page" moves through the Form's navigation.
    Form().SelectPage(Form().PageIndex("TotalSheet"));
    auto* decimals = Find<QGroupBox>("TotalDecimalsGroup");
    QRadioButton* third = decimals->findChildren<QRadioButton*>()[3];
    QTest::mouseClick(third, Qt::LeftButton, {}, QPoint(8, third->height() / 2));
    EXPECT_EQ(Form()["TotalDecimalsGroup"].itemIndex, 3);
    QTest::mouseClick(Find<QPushButton>("TotalSheetNext"), Qt::LeftButton);
    EXPECT_EQ(Form().ActivePageName(), "FlowrateSheet");
    EXPECT_EQ(Window().PageControl1()->currentIndex(), Form().ActivePage());

    // A tab click is a page change of the Form, with its highlight.
    Window().PageControl1()->setCurrentIndex(Form().PageIndex("DisplaySheet"));
    EXPECT_EQ(Form().ActivePageName(), "DisplaySheet");
    EXPECT_TRUE(Form().Pages()[Form().ActivePage()].highlighted);
}

TEST_F(GuiTest, LeavingAnEditRunsItsExitHandler) {
    Form().SetupModel("Q4200", 'P');
    Form().SelectPage(Form().PageIndex("FlowrateSheet"));
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    int exits = 0;
    Form().OnExit("FlowratePulsesEdit", [&] { ++exits; });
    auto* edit = Find<QLineEdit>("FlowratePulsesEdit");
    QRadioButton* choice =
        Find<QGroupBox>("FlowrateIntervalGroup")->findChildren<QRadioButton*>()[0];
    edit->setFocus();
    EXPECT_EQ(Form().Focused(), "FlowratePulsesEdit");
    choice->setFocus();
    EXPECT_EQ(exits, 0) << "left without a key";
    EXPECT_EQ(Form().Focused(), "FlowrateIntervalGroup");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_5);
    choice->setFocus();
    EXPECT_EQ(exits, 1) << "left after a key";

    // The Form moves the focus: the widget follows.
    Form().SetFocus("FlowratePulsesEdit");
    EXPECT_EQ(QApplication::focusWidget(), edit);
}

TEST_F(GuiTest, ReturnPressesAFocusedButtonAndTheMainButtonsHaveKeys) {
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    int portSetups = 0;
    Form().hooks.showPortSetup = [&] { ++portSetups; };
    auto* button = Find<QPushButton>("ModbusButton");
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    QTest::qWait(300); // the click's animation
    EXPECT_EQ(portSetups, 1);
    QTest::keyClick(button, Qt::Key_Enter);
    QTest::qWait(300);
    EXPECT_EQ(portSetups, 2);
    QTest::keyClick(Find<QPushButton>("ConnectButton"), Qt::Key_P, Qt::AltModifier);
    QTest::qWait(300);
    EXPECT_EQ(portSetups, 3) << "Alt+P";

    const struct {
        const char* button;
        const char* shown;
    } keys[] = {
        {"ConnectButton", "&Connect device"},     {"DownloadButton", "&Read device"},
        {"UploadButton", "&Write to device"},     {"ModbusButton", "&Port Setup"},
        {"LoadConfigButton", "&Load Config."},    {"SaveConfigButtonNew", "&Save Config."},
        {"LoadDefaultButton", "Default Config."},
    };
    for (const auto& k : keys)
        EXPECT_EQ(Find<QPushButton>(k.button)->text().toStdString(), k.shown);
}

TEST_F(GuiTest, TabGoesThroughAPageAsItReads) {
    Form().SetupModel("R212-A", 0);
    Form().SelectPage(Form().PageIndex("AnalogSheet"));
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    QWidget* page = Window().PageControl1()->currentWidget();
    page->setFocus();
    // Tab from the page on: the fields come in reading order, row by row.
    std::vector<QWidget*> fields;
    for (int i = 0; i < 80 && fields.size() < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* w = QApplication::focusWidget();
        if (!page->isAncestorOf(w))
            break;
        if (qobject_cast<QLineEdit*>(w) &&
            std::find(fields.begin(), fields.end(), w) == fields.end())
            fields.push_back(w);
    }
    ASSERT_GE(fields.size(), 5u);
    for (size_t i = 1; i < fields.size(); ++i) {
        const QPoint a = fields[i - 1]->mapTo(page, QPoint(0, 0));
        const QPoint b = fields[i]->mapTo(page, QPoint(0, 0));
        const bool sameRow = std::abs(a.y() - b.y()) < fields[i]->height();
        EXPECT_TRUE(sameRow ? b.x() > a.x() : b.y() > a.y())
            << fields[i - 1]->objectName().toStdString() << " then "
            << fields[i]->objectName().toStdString();
    }
}

TEST_F(GuiTest, HiddenPagesAreHiddenTabs) {
    QTabWidget* tabs = Window().PageControl1();
    EXPECT_TRUE(tabs->isTabVisible(0));
    for (int i = 1; i < tabs->count(); ++i)
        EXPECT_FALSE(tabs->isTabVisible(i)) << i;

    Form().SetupModel("R210-P", 0);
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_EQ(tabs->isTabVisible(i), Form().Pages()[i].visible) << i;
    EXPECT_TRUE(tabs->isTabVisible(Form().PageIndex("TotalSheet")));
    EXPECT_FALSE(tabs->isTabVisible(Form().PageIndex("TotalASheet")));
    EXPECT_FALSE(tabs->isTabVisible(Form().PageIndex("LogParamSheet")));
    EXPECT_EQ(tabs->currentIndex(), 0);
    // HOME is highlighted after SetupModel.
    EXPECT_NE(tabs->tabBar()->tabTextColor(0), tabs->tabBar()->tabTextColor(2));
}

TEST_F(GuiTest, AboutBoxOpensFromItsPanelAndClosesOnAKey) {
    ui::TStartUpForm* about = Window().StartUpForm();
    auto* bar = Find<ui::PanelBar>("StatusBar1");
    ASSERT_GE(bar->width(), 700);

    // Left of the "About..." panel, over the status text, nothing opens.
    const QRect panel = bar->PanelRect(2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(600, 5));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(panel.left() - 2, 5));
    EXPECT_FALSE(about->isVisible());
    const QPoint inAbout = panel.center();

    bool sawIt = false, stillOpenAfterClick = false;
    QTimer::singleShot(50, about, [&] {
        sawIt = about->isVisible() && !about->StartUp();
        QTest::keyClick(about, Qt::Key_Space);
    });
    QTest::mouseMove(bar, inAbout);
    QTest::mouseClick(bar, Qt::LeftButton, {}, inAbout); // returns when the box closed
    EXPECT_TRUE(sawIt);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->findChild<QLabel*>("Label1")->text(), "Vantrel");

    // A click closes it as well.
    QTimer::singleShot(50, about, [&] {
        stillOpenAfterClick = about->isVisible();
        QTest::mouseClick(about->findChild<QLabel*>("Image1"), Qt::LeftButton);
    });
    about->ShowAbout();
    EXPECT_TRUE(stillOpenAfterClick);
    EXPECT_FALSE(about->isVisible());
}

TEST(StartUpForm, SplashIgnoresClicksAndKeysUntilItsTimerFired) {
    ui::TStartUpForm splash(nullptr, "Version: 1.0 (build: 0.1)", 200);
    splash.ShowSplash();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(splash.TimerDone());
    QTest::mouseClick(&splash, Qt::LeftButton);
    QTest::keyClick(&splash, Qt::Key_Escape);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.findChild<QLabel*>("Label2")->text(), "Version: 1.0 (build: 0.1)");
    EXPECT_EQ(splash.size(), QSize(319, 200));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.TimerDone(); }, 2000));
}

TEST_F(GuiTest, PortSetupConnectsToTheSimulatedUnit) {
    sim::UnitOptions unitOptions;
    sim::SimUnit unit(unitOptions);
    sim::LinkOptions linkOptions;
    linkOptions.paced = false;
    linkOptions.turnaround = {};
    sim::SimLink link(unit, linkOptions);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;
    ports.Plug(3, link.SlavePath(), "simulated unit");
    Start(); // the port list now has the unit's port

    ui::TModConfigForm* dialog = Window().ModConfigForm();
    auto* status = FindInSetup<ui::PanelBar>("ComportStatusBar");
    QTest::mouseClick(Find<QPushButton>("ModbusButton"), Qt::LeftButton);
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->focusWidget(), FindInSetup<QPushButton>("CloseButton"));

    QTest::mouseClick(FindInSetup<QPushButton>("ReleaseButton"), Qt::LeftButton);
    EXPECT_EQ(status->Text(0), "Status: Not connected.");

    auto* combo = FindInSetup<QComboBox>("ComPortComboBox");
    const int com3 = combo->findText("COM3");
    ASSERT_GT(com3, 0);
    combo->setCurrentIndex(com3);
    emit combo->activated(com3);
    EXPECT_EQ(status->Text(0), "Status: Connected.");
    EXPECT_EQ(status->Text(1), "Settings: 9600,N,8,1");
    EXPECT_EQ(combo->itemData(com3, Qt::ToolTipRole).toString().toStdString(),
              link.SlavePath() + " (simulated unit)");

    // A transaction waits in the event loop; the lamp and the panels follow the worker.
    modbus::TModbus& bus = program->Bus();
    uint8_t serial[3] = {};
    ASSERT_EQ(bus.ModThread()->ReadRegisters(serial, bus.GetBusAddress(), 165, 3), 0)
        << bus.ModThread()->ResultText();
    EXPECT_EQ(serial[0] | serial[1] << 8 | serial[2] << 16, 1234567);
    EXPECT_EQ(bus.LampColour(), modbus::TModbus::Lamp::Green);
    auto* bar = Find<ui::TModbus>("Modbus1");
    EXPECT_EQ(bar->Text(2), "Quenlo: Idle");
    EXPECT_EQ(bar->Text(3), "Last Result: Success");

    // A unit that does not answer turns the lamp red.
    link.InjectFault({sim::FaultKind::Silence, sim::kAlways});
    program->Setup().SetRetriesValue(1);
    program->Setup().SetResponseTimeOutValue(50);
    EXPECT_EQ(bus.ModThread()->ReadRegisters(serial, 1, 165, 3), 2);
    EXPECT_EQ(bus.LampColour(), modbus::TModbus::Lamp::Red);
    EXPECT_EQ(bar->Text(3).toStdString(), bus.ModThread()->ResultText());

    // The wait sleeps: a time-out of a second costs next to no processor time.
    program->Setup().SetResponseTimeOutValue(1000);
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(bus.ModThread()->ReadRegisters(serial, 1, 165, 3), 2);
    const auto waited = std::chrono::steady_clock::now() - t0;
    ::getrusage(RUSAGE_SELF, &after);
    const auto cpuUs = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000LL + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(cpuUs(after) - cpuUs(before), 150000);

    QTest::mouseClick(FindInSetup<QPushButton>("CloseButton"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    program.reset();
    link.Stop();
}

TEST_F(GuiTest, OpeningThePortListLooksForNewPorts) {
    ports.Plug(2, "/dev/ttyUSB0", "FTDI FT232R USB UART");
    Start();
    ui::TModConfigForm* dialog = Window().ModConfigForm();
    dialog->show();
    auto* combo = FindInSetup<QComboBox>("ComPortComboBox");
    EXPECT_EQ(combo->itemText(0), "<< No port selected >>");
    ASSERT_EQ(combo->findText("COM2"), 1);

    test::Pty converter;
    ports.Plug(5, converter.Path(), "CH340");
    combo->showPopup();
    combo->hidePopup();
    const int com5 = combo->findText("COM5");
    ASSERT_GT(com5, 0);
    // The list shows each port's device in a second column.
    EXPECT_EQ(combo->model()->columnCount(), 2);
    EXPECT_EQ(combo->model()->index(com5, 1).data().toString().toStdString(),
              converter.Path() + " (CH340)");
    auto* changed = FindInSetup<QLineEdit>("ComportChanged");
    EXPECT_EQ(changed->text(), " New port found: COM5");
    EXPECT_EQ(changed->palette().color(QPalette::Base), QColor(192, 220, 192));

    // "show all" lists every number at the next opening.
    QTest::mouseClick(FindInSetup<QCheckBox>("AllPortsCheckBox"), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(program->Setup().allPorts);
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->count(), 256);
}

TEST_F(GuiTest, PortSetupIsPlacedBesideTheMainWindow) {
    Window().move(600, 120);
    QCoreApplication::processEvents();
    QTest::mouseClick(Find<QPushButton>("ModbusButton"), Qt::LeftButton);
    ui::TModConfigForm* dialog = Window().ModConfigForm();
    ASSERT_TRUE(dialog->isVisible());
    const QRect main = Window().frameGeometry();
    const QRect own = dialog->frameGeometry();
    EXPECT_EQ(own.right() + 1, main.left());
    EXPECT_EQ(own.top(), main.top() + (main.height() - own.height()) / 2);

    // "&Always on top" keeps the dialog above other windows.
    program->Setup().OnTopCheckBoxClick(true);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog->isVisible());
    program->Setup().OnTopCheckBoxClick(false);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(GuiTest, PortSetupEditsTakeDigitsOnly) {
    Window().ModConfigForm()->show();
    auto* response = FindInSetup<QLineEdit>("ResponseEdit");
    response->selectAll();
    QTest::keyClicks(response, "7x5");
    EXPECT_EQ(program->Setup().Response.text, "75");
    EXPECT_EQ(program->Setup().Response.value, 75);
    QTest::keyClicks(response, "999");
    EXPECT_EQ(response->text(), "7599"); // four characters at most

    // A line setting chosen in its list reaches the model.
    auto* speed = FindInSetup<QComboBox>("ComSpeedComboBox");
    speed->setCurrentIndex(5);
    emit speed->activated(5);
    EXPECT_EQ(program->Setup().ComSpeedComboBox.index, 5);
    QTest::mouseClick(FindInSetup<QRadioButton>("ProtocolASCIIRadio"), Qt::LeftButton, {},
                      QPoint(4, 4));
    EXPECT_FALSE(program->Setup().protocolRtu);

    // The up-down steps within its range.
    auto* upDown = Window().ModConfigForm()->findChild<ui::UpDownButtons*>("RetriesUpDown");
    const int before = program->Setup().Retries.value;
    QTest::mouseClick(upDown->Up(), Qt::LeftButton);
    EXPECT_EQ(program->Setup().Retries.value, before + 1);
    EXPECT_EQ(FindInSetup<QLineEdit>("RetriesEdit")->text().toInt(), before + 1);
}

TEST_F(GuiTest, ClosingTheWindowSavesTheBusSettings) {
    program->Setup().ComSpeedComboBoxSelect(5);
    Window().close();
    IniFile saved;
    ASSERT_TRUE(saved.Load(settingsPath));
    EXPECT_EQ(saved.ReadString("Modbus", "Speed", ""), "19200");
    EXPECT_EQ(saved.ReadString("Modbus", "RTUTimeOut", ""), "20");
}

TEST_F(GuiTest, TheModbusBarOffersPortSetupAndTheBusMonitor) {
    ui::TModbus* bar = Find<ui::TModbus>("Modbus1");
    QList<QAction*> items = bar->ContextMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "&Modbus Setup");
    EXPECT_EQ(items[1]->text(), "&Bus monitor");
    EXPECT_EQ(items[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
    items[0]->trigger();
    EXPECT_TRUE(Window().ModConfigForm()->isVisible());
    EXPECT_EQ(bar->Images().size(), 4u);
}

TEST_F(GuiTest, TheLampIsACircleWhereAnImageIsMissing) {
    ui::TModbus* bar = Find<ui::TModbus>("Modbus1");
    ASSERT_EQ(program->Bus().LampColour(), modbus::TModbus::Lamp::Black); // no port open
    bar->SetImages({});
    const QRect panel = bar->PanelRect(0);
    const modbus::LampCircle circle = modbus::TModbus::LampCircleIn(
        {panel.left(), panel.top(), panel.right() + 1, panel.bottom() + 1});
    const QImage drawn = bar->grab().toImage();
    const QPoint centre((circle.left + circle.right) / 2, (circle.top + circle.bottom) / 2);
    EXPECT_EQ(drawn.pixelColor(centre * drawn.devicePixelRatio()), QColor(0, 0, 0));
    const QPoint outside(panel.left() + 1, panel.top() + 3);
    EXPECT_NE(drawn.pixelColor(outside * drawn.devicePixelRatio()), QColor(0, 0, 0));
    bar->SetImages(ui::LampImages());
}

TEST(QtHost, WaitsSleepUntilWokenOrTimedOut) {
    ui::QtHost host;
    std::atomic<bool> flag{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        flag = true;
        host.Wake();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(host.WaitUntil([&] { return flag.load(); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    setter.join();

    // A wait that times out sleeps through it: a handful of rounds, not thousands.
    const auto roundsBefore = host.Rounds();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(host.WaitUntil([] { return false; }, 200ms));
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, 195ms);
    EXPECT_LT(waited, 1s);
    EXPECT_LT(host.Rounds() - roundsBefore, 20u);
}

TEST(QtHost, RunAndWaitRunsOnTheGuiThread) {
    ui::QtHost host;
    const std::thread::id gui = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        host.RunAndWait([&] { ranOn = std::this_thread::get_id(); });
        done = true;
        host.Wake();
    });
    EXPECT_TRUE(host.WaitUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_EQ(ranOn, gui);

    bool posted = false;
    host.Post([&] { posted = true; });
    EXPECT_FALSE(posted);
    EXPECT_TRUE(host.WaitUntil([&] { return posted; }, 5s));
}

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise, so that listing the tests needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantrel");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
