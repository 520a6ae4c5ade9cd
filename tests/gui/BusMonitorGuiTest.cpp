// The bus monitor window offscreen, with the whole program and the simulated unit.

#include "modbus/ModThread.h"
#include "tests/gui/SimProgram.h"
#include "ui/BusMonitorWindow.h"
#include "ui/ModConfigForm.h"
#include "ui/ModbusBar.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace vantrel;

namespace {

class BusMonitorGui : public test::SimProgramTest {
protected:
    void SetUp() override {
        sim::UnitOptions options;
        options.model = sim::Model::Q4200;
        StartProgram(options, false);
    }
    ui::TModbus& Bar() { return *program->Window().Modbus1(); }
    modbus::TModThread& Worker() { return *program->Bus().ModThread(); }
    ui::TBusMonitor& Open() {
        for (QAction* action : Bar().ContextMenu()->actions())
            if (action->objectName() == "BusMonitorItem")
                action->trigger();
        return *Bar().BusMonitor();
    }
    template <typename T> T* In(QWidget& window, const char* name) {
        return window.findChild<T*>(QString::fromUtf8(name));
    }
    int Read(uint8_t slave) {
        uint8_t value[3] = {};
        return Worker().ReadRegisters(value, slave, 165, 3);
    }
};

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

TEST_F(BusMonitorGui, RowsAppearWhileConnectDeviceRunsAndPauseHoldsThem) {
    ui::TBusMonitor& monitor = Open();
    ASSERT_TRUE(monitor.isVisible());
    EXPECT_FALSE(monitor.isModal());
    EXPECT_EQ(Worker().TrafficSinkAttached(), &monitor.Queue());

    int seenDuringRun = 0;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!program->Window().centralWidget()->isEnabled())
            seenDuringRun = std::max(seenDuringRun, monitor.ShownRows());
    });
    watch.start();
    QTest::mouseClick(program->Window().findChild<QPushButton*>("ConnectButton"), Qt::LeftButton);
    watch.stop();
    monitor.Drain();
    EXPECT_GT(seenDuringRun, 0) << "the window filled while the run went on";
    EXPECT_GT(monitor.ShownRows(), seenDuringRun);
    EXPECT_EQ(monitor.Model().Row(0).direction, modbus::TrafficDirection::Request);

    // Paused, the view stands still; on Resume what came meanwhile is shown.
    const int before = monitor.ShownRows();
    In<QPushButton>(monitor, "PauseButton")->click();
    ASSERT_EQ(Read(1), modbus::kTransactionDone);
    monitor.Drain();
    EXPECT_EQ(monitor.ShownRows(), before);
    EXPECT_NE(In<QLabel>(monitor, "CountsLabel")->text().indexOf("2 waiting"), -1);
    In<QPushButton>(monitor, "PauseButton")->click();
    EXPECT_EQ(monitor.ShownRows(), before + 2);

    In<QPushButton>(monitor, "ClearButton")->click();
    EXPECT_EQ(monitor.ShownRows(), 0);

    // Closed, the worker makes no rows for it.
    monitor.close();
    EXPECT_EQ(Worker().TrafficSinkAttached(), nullptr);
    ASSERT_EQ(Read(1), modbus::kTransactionDone);
    monitor.Drain();
    EXPECT_EQ(monitor.ShownRows(), 0);
}

TEST_F(BusMonitorGui, ErrorsOnlyShowsFailedAttemptsAndSaveWritesTheRowsShownWhole) {
    ui::TBusMonitor& monitor = Open();
    ASSERT_EQ(Read(1), modbus::kTransactionDone);
    ASSERT_EQ(Read(99), modbus::kTransactionFailed); // nobody there: two tries, two time-outs
    monitor.Drain();
    ASSERT_EQ(monitor.ShownRows(), 6);
    // The failed rows stand out.
    const QModelIndex timeOut = monitor.Model().index(3, 5);
    EXPECT_TRUE(monitor.Model().data(timeOut, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(monitor.Model().data(monitor.Model().index(1, 5), Qt::BackgroundRole).isValid());

    In<QCheckBox>(monitor, "ErrorsOnlyCheckBox")->click();
    ASSERT_EQ(monitor.ShownRows(), 4); // each request with its time-out
    const std::string shown = monitor.ShownText();
    EXPECT_EQ(shown.substr(0, 5), "Time\t");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 5);
    EXPECT_EQ(shown.find("values: "), std::string::npos);
    EXPECT_NE(shown.find("\ttime-out: no answer within 200 ms\t"), std::string::npos);

    const std::string path = dir + "/traffic.txt";
    prompts.fileNames.push_back(path);
    In<QPushButton>(monitor, "SaveButton")->click();
    EXPECT_EQ(FileText(path), shown);

    // A save that cannot be made says why and leaves nothing behind.
    const std::string missing = dir + "/missing/traffic.txt";
    prompts.fileNames.push_back(missing);
    const size_t shownBefore = prompts.shown.size();
    In<QPushButton>(monitor, "SaveButton")->click();
    ASSERT_EQ(prompts.shown.size(), shownBefore + 2); // the save dialog, then the error
    EXPECT_EQ(prompts.shown[shownBefore].caption, "Save bus monitor");
    EXPECT_NE(prompts.shown.back().text.find(dir + "/missing"), std::string::npos);
    EXPECT_EQ(prompts.shown.back().icon, host::PromptIcon::Error);
    EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
    EXPECT_EQ(FileText(path), shown);
}

TEST_F(BusMonitorGui, TheWindowKeepsTheLastTenThousandRowsAndCountsWhatItDropped) {
    ui::TBusMonitor& monitor = Open();
    int next = 0;
    const auto push = [&](int count) {
        for (int i = 0; i < count; ++i) {
            modbus::TrafficRow row;
            row.slave = next++ % 256;
            row.meaning = std::to_string(next - 1);
            monitor.Queue().Row(row);
        }
    };
    push(6000);
    monitor.Drain();
    push(6000);
    monitor.Drain();
    EXPECT_EQ(monitor.ShownRows(), 10000);
    EXPECT_EQ(monitor.DroppedOldest(), 2000u);
    EXPECT_EQ(monitor.Model().Row(0).meaning, "2000");
    EXPECT_EQ(monitor.Model().Row(9999).meaning, "11999");

    // A reader that fell behind a whole ring's worth: the newest are dropped and counted.
    push(10003);
    monitor.Drain();
    EXPECT_EQ(monitor.DroppedBehind(), 3u);
    EXPECT_NE(In<QLabel>(monitor, "CountsLabel")->text().indexOf("3 dropped"), -1);
}

TEST_F(BusMonitorGui, ThePortSetupDialogAndCtrlMOpenIt) {
    ui::TModConfigForm* setup = Bar().ModConfigForm();
    setup->show();
    In<QPushButton>(*setup, "BusMonitorButton")->click();
    ASSERT_TRUE(Bar().BusMonitor()->isVisible());
    Bar().BusMonitor()->close();
    setup->close();

    program->Window().activateWindow();
    QTest::keyClick(&program->Window(), Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(Bar().BusMonitor()->isVisible());
}
