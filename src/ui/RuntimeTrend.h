#pragma once

// The live trend under the Runtime Values: "Watch" with its interval, the flow rate (and the
// total on an axis of its own) over the last minutes, and "Record to file...". The samples
// are the watch's (device::TOperatorWatch); this draws them and keeps its timers. A failed
// sample breaks the line.

#include <QWidget>

#include <functional>

class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QTimer;
class QValueAxis;

namespace vantrel::device {
class TOperatorWatch;
}

namespace vantrel::ui {

class QtHost;

class RuntimeTrend final : public QWidget {
    Q_OBJECT
public:
    // host, when given, keeps the user's input for after a sample's transactions.
    RuntimeTrend(device::TOperatorWatch& watch, QtHost* host, QWidget* parent = nullptr);
    ~RuntimeTrend() override;

    // Asks for the file of "Record to file..."; empty: cancelled. A file dialog unless set.
    std::function<QString()> askRecordFile;
    // Shows a message of the watch (a file that cannot be written). A message box unless set.
    std::function<void(const QString&)> inform;

    void WatchClick();
    void RecordClick();
    void SelectInterval(int ms);
    // The drawing brought up to date with the watch's samples.
    void ShowSamples();

    // For the tests: the lines drawn (a gap starts a new one) and their points.
    int FlowLines() const;
    int FlowPoints() const;
    QChartView* Plot() const { return plot_; }
    const device::TOperatorWatch& Watch() const { return watch_; }

private:
    void Tick();
    void ShowState();

    device::TOperatorWatch& watch_;
    QtHost* host_;
    QComboBox* interval_;
    QPushButton* watchButton_;
    QPushButton* recordButton_;
    QLabel* message_;
    QChartView* plot_;
    QDateTimeAxis* time_;
    QValueAxis* flowAxis_;
    QValueAxis* totalAxis_;
    QTimer* sampleTimer_;
    QTimer* checkTimer_;
    std::size_t shownSamples_ = 0;
    long long shownLastMs_ = 0;
    QString shownMessage_;
};

} // namespace vantrel::ui
