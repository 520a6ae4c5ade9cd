// The charts through the Qt face against the simulated unit: the log data window's chart
// after a readout and of a file opened, and the Runtime Values page's live trend (its pace,
// the gaps of a silent unit, a run that stops it).

#include "device/LogdataForm.h"
#include "device/OperatorWatch.h"
#include "host/ScriptedPrompts.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/gui/SimProgram.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/LogChartView.h"
#include "ui/LogdataDialog.h"
#include "ui/Program.h"
#include "ui/RuntimeTrend.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vantrel;
using host::PromptAnswer;

namespace {

template <typename T> T* In(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromUtf8(name));
}

class ChartsGui : public test::SimProgramTest {
protected:
    // read: the configuration read after the identification, as the trend needs it.
    void Start(int records, bool read = false) {
        sim::UnitOptions options;
        options.model = sim::Model::Q4200;
        options.logger = true;
        options.serial = 4321;
        options.logRecords = {records, 2, 0};
        StartProgram(options, true);
        if (HasFatalFailure())
            return;
        prompts.answers = {read ? PromptAnswer::Yes : PromptAnswer::No};
        QTest::mouseClick(Button("ConnectButton"), Qt::LeftButton);
        ASSERT_EQ(program->device.SerialNumber, 4321);
        if (read) {
            ASSERT_EQ(program->Form().ExpectedSerialNumber, 4321);
        }
        prompts.shown.clear();
    }
    QPushButton* Button(const char* name) {
        return program->Window().findChild<QPushButton*>(QString::fromUtf8(name));
    }
    void WhenWindowShows(std::function<void(ui::LogdataDialog&)> act) {
        WhenShown<ui::LogdataDialog>("TLogdataForm", std::move(act), [](ui::LogdataDialog& w) {
            return In<QComboBox>(w, "cbLogLists")->count() > 0;
        });
    }
    static void ReadList(ui::LogdataDialog& window, int index) {
        auto* lists = In<QComboBox>(window, "cbLogLists");
        lists->setCurrentIndex(index);
        emit lists->activated(index);
        QTest::mouseClick(In<QPushButton>(window, "btnReadData"), Qt::LeftButton);
        window.UpdateChart();
    }
    ui::RuntimeTrend* Trend() {
        return program->Window().findChild<ui::RuntimeTrend*>("RuntimeTrend");
    }
};

TEST_F(ChartsGui, AReadoutIsChartedAndItsPictureSaved) {
    Start(200);
    ASSERT_FALSE(HasFatalFailure());
    const std::string picture = dir + "/chart.png";
    WhenWindowShows([&](ui::LogdataDialog& window) {
        ui::LogChartView* chart = window.ChartView();
        ASSERT_NE(chart, nullptr);
        int pointsMeanwhile = -1;
        // The chart fills in while the records arrive, not only at the end.
        QTimer during;
        during.setInterval(50);
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (pointsMeanwhile < 0 && !chart->Chart().series.empty() &&
                chart->Chart().series[0].points.size() < 200)
                pointsMeanwhile = static_cast<int>(chart->Chart().series[0].points.size());
        });
        during.start();
        ReadList(window, 0);
        during.stop();
        EXPECT_GT(pointsMeanwhile, 0) << "the chart followed the readout";

        const device::LogChart& data = chart->Chart();
        ASSERT_TRUE(data.whyNoChart.empty()) << data.whyNoChart;
        ASSERT_EQ(data.series.size(), 2u);
        EXPECT_EQ(data.series[0].name, "FLOWRATE");
        EXPECT_EQ(data.series[1].name, "TOTAL");
        EXPECT_EQ(data.series[0].points.size(), 200u);
        EXPECT_EQ(chart->SeriesShown(), 2);
        EXPECT_EQ(chart->DrawnPoints(), 400) << "200 records are few enough to draw them all";
        EXPECT_TRUE(chart->Note()->text().startsWith("200 records charted"))
            << chart->Note()->text().toStdString();
        EXPECT_EQ(chart->ReadoutAt(0, data.series[0].points[3].ms + 1000).toStdString(),
                  "2026-12-10 14:00:00  FLOWRATE: " +
                      QString::number(data.series[0].points[3].value, 'g', 12).toStdString());

        window.Tabs()->setCurrentWidget(chart);
        QCoreApplication::processEvents();
        QString error;
        ASSERT_TRUE(chart->SavePicture(QString::fromStdString(picture), &error))
            << error.toStdString();
        EXPECT_FALSE(chart->SavePicture(QString::fromStdString(dir + "/no/such/x.png"), &error));
        EXPECT_TRUE(error.contains("no/such")) << error.toStdString();

        // The event list: text only, and the note says why.
        prompts.answers = {PromptAnswer::No}; // the first list not saved: read on
        ReadList(window, 1);
        EXPECT_TRUE(chart->Chart().series.empty());
        EXPECT_EQ(chart->Note()->text().toStdString(), device::kNoNumericColumnsText);
        EXPECT_FALSE(chart->Plot()->isVisibleTo(chart));

        prompts.answers = {PromptAnswer::No};
        window.close();
    });
    QTest::mouseClick(Button("LogdataButton"), Qt::LeftButton);
    EXPECT_EQ(windowsShown, 1);
    const QImage image(QString::fromStdString(picture));
    EXPECT_FALSE(image.isNull()) << "a PNG";
    EXPECT_GT(image.width(), 200);
}

TEST_F(ChartsGui, ASavedFileIsOpenedAndChartedWithItsFaultsCounted) {
    Start(3);
    ASSERT_FALSE(HasFatalFailure());
    const std::string path = dir + "/saved.csv";
    std::ofstream(path, std::ios::binary)
        << "Readout of RUNTIME LIST for s/n 0004321 at 2026-12-10 16:00:00\r\n"
           "## read;DATE;TIME;FLOWRATE;TOTAL\r\n"
           "0000001;2026-12-10;13:00:00;0000003.0;00000030\r\n"
           "0000002;2026-12-10;11:00:00;0000001.0;00000010\r\n"
           "0000003;2026-12-10;12:6O:00;0000002.0;00000020\r\n"
           "0000004;2026-12-10;12:00:00;0000002.0;00000020\r\n"
           "0000005;NO RECORD FOUND\r\n";
    WhenWindowShows([&](ui::LogdataDialog& window) {
        window.OpenLogFile(QString::fromStdString(path));
        ui::LogChartView* chart = window.ChartView();
        EXPECT_EQ(window.Tabs()->currentWidget(), chart);
        const device::LogChart& data = chart->Chart();
        ASSERT_EQ(data.series.size(), 2u);
        EXPECT_EQ(data.series[0].points.size(), 3u);
        EXPECT_TRUE(data.reordered);
        EXPECT_EQ(data.series[0].points.front().value, 1.0);
        EXPECT_EQ(data.leftOut, 1);
        const std::string note = chart->Note()->text().toStdString();
        EXPECT_NE(note.find("drawn in time order"), std::string::npos) << note;
        EXPECT_NE(note.find("1 record with a malformed date, time or number left out"),
                  std::string::npos)
            << note;
        EXPECT_EQ(In<QLineEdit>(window, "lblHeader")->text(), "## read;DATE;TIME;FLOWRATE;TOTAL");
        window.close(); // a file opened is saved already: no question
    });
    QTest::mouseClick(Button("LogdataButton"), Qt::LeftButton);
    EXPECT_EQ(windowsShown, 1);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ChartsGui, ASavedFileIsChartedWithNoUnitConnected) {
    sim::UnitOptions options;
    options.model = sim::Model::Q4200;
    StartProgram(options, true);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(program->device.SerialNumber, -1) << "no unit connected";
    ASSERT_FALSE(Button("LogdataButton")->isEnabled());
    ASSERT_TRUE(Button("LogFileButton")->isEnabled());
    const std::string path = dir + "/saved.csv";
    std::ofstream(path, std::ios::binary) << "## read;DATE;TIME;FLOWRATE\r\n"
                                             "0000001;2026-12-10;11:00:00;0000001.0\r\n"
                                             "0000002;2026-12-10;12:00:00;0000002.0\r\n";
    prompts.fileNames = {dir + "/missing.csv", path};
    const int triesBefore = program->Bus().ModThread()->Retries();
    WhenShown<ui::LogdataDialog>("TLogdataForm", [&](ui::LogdataDialog& window) {
        // The first file asked for was not there: told, and asked again by the button.
        EXPECT_TRUE(window.ChartView()->Chart().series.empty());
        QTest::mouseClick(In<QPushButton>(window, "OpenLogFileButton"), Qt::LeftButton);
        EXPECT_EQ(window.Tabs()->currentWidget(), window.ChartView());
        ASSERT_EQ(window.ChartView()->Chart().series.size(), 1u);
        EXPECT_EQ(window.ChartView()->Chart().series[0].points.size(), 2u);
        window.close();
    });
    QTest::mouseClick(Button("LogFileButton"), Qt::LeftButton);
    EXPECT_EQ(windowsShown, 1);
    // The file dialog twice, the one message between.
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[1].text.rfind("The log file could not be opened.", 0), 0u)
        << prompts.shown[1].text;
    EXPECT_NE(prompts.shown[1].text.find("missing.csv"), std::string::npos);
    EXPECT_EQ(program->Bus().ModThread()->Retries(), triesBefore) << "left as it was";
    EXPECT_TRUE(program->Window().centralWidget()->isEnabled());
}

TEST_F(ChartsGui, TheTrendSamplesAtTheIntervalShowsGapsAndARunStopsIt) {
    Start(3, true);
    ASSERT_FALSE(HasFatalFailure());
    ui::RuntimeTrend* trend = Trend();
    ASSERT_NE(trend, nullptr);
    program->Form().SelectPage(program->Form().PageIndex("RuntimeSheet"));
    auto* watchButton = In<QPushButton>(*trend, "WatchButton");
    EXPECT_EQ(watchButton->text().toStdString(), device::kWatchCaption);

    trend->SelectInterval(500);
    QTest::mouseClick(watchButton, Qt::LeftButton);
    EXPECT_EQ(watchButton->text().toStdString(), device::kStopWatchCaption);
    QTest::qWait(1700);
    const auto& samples = trend->Watch().Samples();
    ASSERT_GE(samples.size(), 3u);
    ASSERT_LE(samples.size(), 5u);
    for (size_t i = 1; i < samples.size(); ++i) {
        const int64_t gap = samples[i].ms - samples[i - 1].ms;
        // At the interval: neither back to back nor held up (loose, for a loaded machine).
        EXPECT_GE(gap, 300);
        EXPECT_LE(gap, 1500);
    }
    EXPECT_TRUE(program->Window().centralWidget()->isEnabled()) << "the window stays usable";
    EXPECT_EQ(trend->FlowLines(), 1);

    // The unit falls silent for a while: gaps, then the line goes on anew.
    sim::Fault silence;
    silence.kind = sim::FaultKind::Silence;
    silence.count = sim::kAlways;
    link->InjectFault(silence);
    QTest::qWait(1300);
    link->ClearFaults();
    QTest::qWait(1300);
    size_t gaps = 0;
    for (const device::OperatorSample& s : samples)
        gaps += !s.ok;
    EXPECT_GE(gaps, 1u);
    EXPECT_EQ(trend->FlowLines(), 2) << "a gap, not a line through zero";
    EXPECT_TRUE(trend->Watch().Watching());

    // A run (here the page's Refresh) stops the watch before its first transaction.
    prompts.answers = {};
    QTest::mouseClick(Button("RefeshButton"), Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_FALSE(trend->Watch().Watching());
    EXPECT_EQ(watchButton->text().toStdString(), device::kWatchCaption);
    EXPECT_EQ(In<QLabel>(*trend, "WatchMessage")->text().toStdString(),
              device::kWatchRunStartedText);
    EXPECT_EQ(program->Form().statusPanels[1], device::kRefreshedStatus) << "the refresh ran";
}

TEST_F(ChartsGui, RecordingToAFileThatCannotBeWrittenIsRefused) {
    Start(3, true);
    ASSERT_FALSE(HasFatalFailure());
    ui::RuntimeTrend* trend = Trend();
    ASSERT_NE(trend, nullptr);
    QString told;
    trend->inform = [&](const QString& text) { told = text; };
    trend->askRecordFile = [&] { return QString::fromStdString(dir + "/no/such/folder/r.csv"); };
    trend->RecordClick();
    EXPECT_TRUE(told.startsWith("Recording could not start.")) << told.toStdString();
    EXPECT_FALSE(trend->Watch().Recording());

    const std::string path = dir + "/r.csv";
    trend->askRecordFile = [&] { return QString::fromStdString(path); };
    trend->RecordClick();
    ASSERT_TRUE(trend->Watch().Recording());
    trend->SelectInterval(500);
    trend->WatchClick();
    QTest::qWait(700);
    trend->WatchClick();
    trend->RecordClick();
    std::ifstream file(path);
    std::string header, line;
    std::getline(file, header);
    EXPECT_EQ(header, device::SampleCsvHeader() + "\r");
    int lines = 0;
    while (std::getline(file, line))
        ++lines;
    EXPECT_GE(lines, 1);
}

} // namespace
