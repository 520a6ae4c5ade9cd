#include "ui/RuntimeTrend.h"

#include "device/OperatorWatch.h"
#include "ui/QtHost.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace vantrel::ui {

namespace {

constexpr const char* kIntervalPrompt = "every";
constexpr const char* kRecordTitle = "Record the operator values to a file";
constexpr const char* kRecordFilter = "Comma separated (*.csv);;Any file (*)";
constexpr const char* kRecordNotStarted = "Recording could not start.";
constexpr const char* kFlowName = "Flow rate";
constexpr const char* kTotalName = "Total";
// Between two samples the watch still looks for a closed port or a run that started.
constexpr int kCheckMs = 250;
// The time axis spans at least this while the samples are fewer.
constexpr int64_t kShortestSpanMs = 60 * 1000;
constexpr int kDefaultIntervalMs = 1000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The line segments between the gaps, of one value of the samples.
template <typename Value>
std::vector<QList<QPointF>> Runs(const std::deque<device::OperatorSample>& samples, Value value) {
    std::vector<QList<QPointF>> runs;
    bool open = false;
    for (const device::OperatorSample& s : samples) {
        const double v = value(s);
        if (!s.ok || std::isnan(v)) {
            open = false;
            continue;
        }
        if (!open)
            runs.emplace_back();
        open = true;
        runs.back().append(QPointF(static_cast<double>(s.ms), v));
    }
    return runs;
}

// The chart's lines of one value made as many as the runs, each given its points; the first
// alone in the legend, all in one colour.
void ShowRuns(QChart* chart, const QString& name, const std::vector<QList<QPointF>>& runs,
              QAbstractAxis* time, QValueAxis* axis) {
    std::vector<QLineSeries*> lines;
    for (QAbstractSeries* s : chart->series())
        if (s->name() == name || s->property("run").toString() == name)
            lines.push_back(static_cast<QLineSeries*>(s));
    const size_t wanted = std::max<size_t>(runs.size(), 1);
    while (lines.size() < wanted) {
        auto* line = new QLineSeries;
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(axis);
        if (lines.empty()) {
            line->setName(name);
            line->setPen(QPen(axis->labelsColor(), 2));
        } else {
            line->setProperty("run", name);
            line->setPen(lines.front()->pen());
            line->setVisible(lines.front()->isVisible());
            for (QLegendMarker* m : chart->legend()->markers(line))
                m->setVisible(false);
        }
        lines.push_back(line);
    }
    while (lines.size() > wanted) {
        chart->removeSeries(lines.back());
        delete lines.back();
        lines.pop_back();
    }
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i]->replace(i < runs.size() ? runs[i] : QList<QPointF>());
}

void FitAxis(QValueAxis* axis, const std::vector<QList<QPointF>>& runs) {
    double low = 0, high = 0;
    bool any = false;
    for (const auto& run : runs)
        for (const QPointF& p : run) {
            low = any ? std::min(low, p.y()) : p.y();
            high = any ? std::max(high, p.y()) : p.y();
            any = true;
        }
    if (!any)
        return;
    const double margin = high > low ? (high - low) * 0.1 : std::max(1.0, std::fabs(high) * 0.05);
    axis->setRange(low - margin, high + margin);
}

} // namespace

RuntimeTrend::RuntimeTrend(device::TOperatorWatch& watch, QtHost* host, QWidget* parent)
    : QWidget(parent), watch_(watch), host_(host) {
    setObjectName("RuntimeTrend");
    interval_ = new QComboBox(this);
    interval_->setObjectName("WatchIntervalBox");
    for (int ms : device::WatchIntervalsMs())
        interval_->addItem(Q(device::WatchIntervalText(ms)), ms);
    interval_->setCurrentIndex(interval_->findData(kDefaultIntervalMs));
    watchButton_ = new QPushButton(Q(device::kWatchCaption), this);
    watchButton_->setObjectName("WatchButton");
    watchButton_->setMinimumWidth(120);
    recordButton_ = new QPushButton(Q(device::kRecordCaption), this);
    recordButton_->setObjectName("RecordButton");
    message_ = new QLabel(this);
    message_->setObjectName("WatchMessage");
    message_->setWordWrap(true);

    auto* chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignTop);
    time_ = new QDateTimeAxis;
    time_->setFormat("HH:mm:ss");
    time_->setTickCount(6);
    chart->addAxis(time_, Qt::AlignBottom);
    flowAxis_ = new QValueAxis;
    flowAxis_->setLabelsColor(QColor(0x20, 0x6a, 0xb8));
    flowAxis_->setTitleBrush(flowAxis_->labelsColor());
    chart->addAxis(flowAxis_, Qt::AlignLeft);
    totalAxis_ = new QValueAxis;
    totalAxis_->setLabelsColor(QColor(0xc0, 0x60, 0x10));
    totalAxis_->setTitleBrush(totalAxis_->labelsColor());
    chart->addAxis(totalAxis_, Qt::AlignRight);
    plot_ = new QChartView(chart, this);
    plot_->setObjectName("RuntimeTrendPlot");
    plot_->setMinimumHeight(220);
    ShowRuns(chart, kFlowName, {}, time_, flowAxis_);
    ShowRuns(chart, kTotalName, {}, time_, totalAxis_);
    for (QAbstractSeries* s : chart->series())
        for (QLegendMarker* m : chart->legend()->markers(s))
            connect(m, &QLegendMarker::clicked, this, [chart, name = s->name(), m] {
                // The legend turns a value's lines on and off, all its runs together.
                bool visible = true;
                for (QAbstractSeries* line : chart->series())
                    if (line->name() == name || line->property("run").toString() == name) {
                        line->setVisible(!line->isVisible());
                        visible = line->isVisible();
                    }
                m->setVisible(true);
                QFont font = m->font();
                font.setStrikeOut(!visible);
                m->setFont(font);
            });

    auto* row = new QHBoxLayout;
    row->addWidget(watchButton_);
    row->addWidget(new QLabel(kIntervalPrompt, this));
    row->addWidget(interval_);
    row->addSpacing(12);
    row->addWidget(recordButton_);
    row->addWidget(message_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(plot_, 1);

    sampleTimer_ = new QTimer(this);
    sampleTimer_->setTimerType(Qt::PreciseTimer);
    checkTimer_ = new QTimer(this);
    checkTimer_->setInterval(kCheckMs);
    connect(sampleTimer_, &QTimer::timeout, this, &RuntimeTrend::Tick);
    connect(checkTimer_, &QTimer::timeout, this, [this] {
        if (!watch_.Check())
            ShowState();
    });
    connect(watchButton_, &QPushButton::clicked, this, &RuntimeTrend::WatchClick);
    connect(recordButton_, &QPushButton::clicked, this, &RuntimeTrend::RecordClick);
    connect(interval_, qOverload<int>(&QComboBox::activated), this,
            [this](int) { SelectInterval(interval_->currentData().toInt()); });
    watch_.changed = [this] { ShowState(); };
    ShowState();
    ShowSamples();
}

RuntimeTrend::~RuntimeTrend() {
    watch_.changed = nullptr;
}

void RuntimeTrend::WatchClick() {
    if (watch_.Watching()) {
        watch_.Stop();
    } else if (watch_.Start(interval_->currentData().toInt())) {
        watch_.ClearSamples();
        Tick(); // the first sample now, not an interval later
    }
    ShowState();
}

void RuntimeTrend::SelectInterval(int ms) {
    const int index = interval_->findData(ms);
    if (index >= 0)
        interval_->setCurrentIndex(index);
    if (watch_.Watching()) {
        watch_.Stop();
        watch_.Start(ms);
    }
    ShowState();
}

void RuntimeTrend::RecordClick() {
    if (watch_.Recording()) {
        watch_.StopRecording();
        ShowState();
        return;
    }
    const QString path =
        askRecordFile ? askRecordFile()
                      : QFileDialog::getSaveFileName(this, kRecordTitle, QString(), kRecordFilter,
                                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    std::string error;
    if (!watch_.StartRecording(path.toStdString(), &error)) {
        const QString text = QString(kRecordNotStarted) + "\n" + Q(error);
        if (inform)
            inform(text);
        else
            QMessageBox::warning(this, kRecordTitle, text);
    }
    ShowState();
}

void RuntimeTrend::Tick() {
    if (watch_.Sampling())
        return;
    // The clicks and keys of the sample's moments wait for its end: a run they start then
    // finds the line free, and stops the watch first.
    if (host_)
        host_->HoldUserInput(true);
    const bool recording = watch_.Recording();
    watch_.Tick();
    if (host_)
        host_->HoldUserInput(false);
    ShowSamples();
    ShowState();
    if (recording && !watch_.Recording()) {
        const QString text = Q(watch_.Message());
        if (inform)
            inform(text);
        else
            QMessageBox::warning(this, kRecordTitle, text);
    }
}

void RuntimeTrend::ShowState() {
    const bool watching = watch_.Watching();
    watchButton_->setText(Q(watching ? device::kStopWatchCaption : device::kWatchCaption));
    recordButton_->setText(
        Q(watch_.Recording() ? device::kStopRecordCaption : device::kRecordCaption));
    if (watching) {
        // setInterval restarts a running timer: only a new interval may, or every sample
        // would put the next one off by its own time on the line.
        if (sampleTimer_->interval() != watch_.IntervalMs() || !sampleTimer_->isActive())
            sampleTimer_->start(watch_.IntervalMs());
        if (!checkTimer_->isActive())
            checkTimer_->start();
    } else {
        sampleTimer_->stop();
        checkTimer_->stop();
    }
    QString text = Q(watch_.Message());
    if (text.isEmpty() && watch_.Recording())
        text = QString("Recording to %1 (%2 lines)")
                   .arg(Q(watch_.RecordPath()))
                   .arg(watch_.RecordedLines());
    if (text != shownMessage_) {
        message_->setText(text);
        shownMessage_ = text;
    }
}

void RuntimeTrend::ShowSamples() {
    const auto& samples = watch_.Samples();
    const long long lastMs = samples.empty() ? 0 : samples.back().ms;
    if (samples.size() == shownSamples_ && lastMs == shownLastMs_)
        return;
    shownSamples_ = samples.size();
    shownLastMs_ = lastMs;
    QChart* chart = plot_->chart();
    const auto flow = Runs(samples, [](const device::OperatorSample& s) { return s.flowRate; });
    const auto total = Runs(samples, [](const device::OperatorSample& s) { return s.total; });
    ShowRuns(chart, kFlowName, flow, time_, flowAxis_);
    ShowRuns(chart, kTotalName, total, time_, totalAxis_);
    const auto titled = [](const char* name, const std::string& unit) {
        return unit.empty() ? QString(name) : QString("%1 (%2)").arg(name, Q(unit));
    };
    flowAxis_->setTitleText(titled(kFlowName, watch_.FlowUnit()));
    totalAxis_->setTitleText(titled(kTotalName, watch_.TotalUnit()));
    FitAxis(flowAxis_, flow);
    FitAxis(totalAxis_, total);
    const int64_t now = samples.empty() ? QDateTime::currentMSecsSinceEpoch() : lastMs;
    const int64_t first = samples.empty() ? now : samples.front().ms;
    // The line starts at the left and grows to the right until the kept time is full.
    const int64_t from = std::max(now - watch_.keepMs, first);
    time_->setRange(QDateTime::fromMSecsSinceEpoch(from),
                    QDateTime::fromMSecsSinceEpoch(std::max(now, from + kShortestSpanMs)));
}

int RuntimeTrend::FlowLines() const {
    int count = 0;
    for (QAbstractSeries* s : plot_->chart()->series())
        if ((s->name() == kFlowName || s->property("run").toString() == kFlowName) &&
            static_cast<QLineSeries*>(s)->count() > 0)
            ++count;
    return count;
}

int RuntimeTrend::FlowPoints() const {
    int count = 0;
    for (QAbstractSeries* s : plot_->chart()->series())
        if (s->name() == kFlowName || s->property("run").toString() == kFlowName)
            count += static_cast<int>(static_cast<QLineSeries*>(s)->count());
    return count;
}

} // namespace vantrel::ui
