#include "ui/LogChartView.h"

#include "common/FileUtil.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimeZone>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace vantrel::ui {

const char* const kSavePictureCaption = "Save picture...";
const char* const kResetZoomCaption = "Reset zoom";

namespace {

constexpr const char* kSavePictureTitle = "Save the chart as a picture";
constexpr const char* kPictureFilter = "PNG picture (*.png)";
constexpr const char* kPictureNotSaved = "The picture could not be saved.";
constexpr const char* kHint = "Drag across the chart to zoom, right-drag or arrow keys to pan.";
// Series whose largest values differ by more than this share no axis.
constexpr double kScaleRatio = 10;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString TimeText(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString("yyyy-MM-dd HH:mm:ss");
}

double Magnitude(const device::LogSeries& s) {
    return std::max({std::fabs(s.minValue), std::fabs(s.maxValue), 1e-9});
}

} // namespace

// The plot: QChartView's horizontal rubber band zooms; the right button and the arrow keys
// pan; the mouse over a line asks the view what to show.
class LogChartPlot final : public QChartView {
public:
    explicit LogChartPlot(QWidget* parent) : QChartView(new QChart, parent) {
        setRubberBand(QChartView::HorizontalRubberBand);
        setRenderHint(QPainter::Antialiasing, false); // many points: the speed matters more
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
    }
    std::function<void(QPoint)> hover;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) {
            panFrom_ = event->position().x();
            panning_ = true;
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (panning_) {
            const double x = event->position().x();
            chart()->scroll(panFrom_ - x, 0);
            panFrom_ = x;
            event->accept();
            return;
        }
        if (hover)
            hover(event->position().toPoint());
        QChartView::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) {
            panning_ = false; // no zoom-out on the right button: it pans
            event->accept();
            return;
        }
        QChartView::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        const double step = chart()->plotArea().width() / 10;
        if (event->key() == Qt::Key_Left)
            chart()->scroll(-step, 0);
        else if (event->key() == Qt::Key_Right)
            chart()->scroll(step, 0);
        else
            QChartView::keyPressEvent(event);
    }

private:
    double panFrom_ = 0;
    bool panning_ = false;
};

LogChartView::LogChartView(QWidget* parent) : QWidget(parent) {
    setObjectName("LogChart");
    plot_ = new LogChartPlot(this);
    plot_->setObjectName("LogChartPlot");
    plot_->chart()->legend()->setAlignment(Qt::AlignTop);
    plot_->chart()->setMargins(QMargins(4, 4, 4, 4));
    note_ = new QLabel(this);
    note_->setObjectName("LogChartNote");
    note_->setWordWrap(true);
    reset_ = new QPushButton(Q(kResetZoomCaption), this);
    reset_->setObjectName("ResetZoomButton");
    save_ = new QPushButton(Q(kSavePictureCaption), this);
    save_->setObjectName("SavePictureButton");
    redraw_ = new QTimer(this);
    redraw_->setSingleShot(true);
    redraw_->setInterval(0);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addWidget(reset_);
    buttons->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_, 1);
    layout->addLayout(buttons);

    connect(reset_, &QPushButton::clicked, this, &LogChartView::ResetZoom);
    connect(save_, &QPushButton::clicked, this, &LogChartView::SavePictureClick);
    connect(redraw_, &QTimer::timeout, this, &LogChartView::Redraw);
    plot_->hover = [this](QPoint at) {
        QChart* chart = plot_->chart();
        if (chart_.series.empty() || !chart->plotArea().contains(at)) {
            QToolTip::hideText();
            return;
        }
        const auto lines = chart->series();
        QString text;
        for (int i = 0; i < lines.size() && i < static_cast<int>(chart_.series.size()); ++i) {
            if (!lines[i]->isVisible())
                continue;
            const QPointF value = chart->mapToValue(at, lines[i]);
            const QString line = ReadoutAt(i, FromAxis(value.x()));
            text += (text.isEmpty() ? "" : "\n") + line;
        }
        QToolTip::showText(plot_->mapToGlobal(at), text, plot_);
    };
    Rebuild();
}

LogChartView::~LogChartView() = default;

QWidget* LogChartView::Plot() const {
    return plot_;
}

void LogChartView::SetChart(device::LogChart chart) {
    std::vector<std::string> names;
    for (const device::LogSeries& s : chart.series)
        names.push_back(s.name);
    const bool sameColumns = names == shownNames_ && !names.empty();
    chart_ = std::move(chart);
    if (!sameColumns || !zoomed_)
        Rebuild();
    else
        Redraw();
    ShowNote();
}

void LogChartView::Rebuild() {
    QChart* chart = plot_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis), delete axis;
    shownNames_.clear();
    zoomed_ = false;
    plot_->setVisible(!chart_.series.empty());
    reset_->setEnabled(!chart_.series.empty());
    save_->setEnabled(!chart_.series.empty());
    if (chart_.series.empty())
        return;

    // The naive times shown as they are: the axis formats in local time.
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(chart_.firstMs, QTimeZone::utc());
    axisOffsetMs_ =
        QDateTime(first.date(), first.time(), QTimeZone::systemTimeZone()).toMSecsSinceEpoch() -
        chart_.firstMs;

    auto* time = new QDateTimeAxis;
    time->setObjectName("TimeAxis");
    const int64_t span = chart_.lastMs - chart_.firstMs;
    time->setFormat(span > 12 * 3600000LL ? "dd.MM. HH:mm" : "HH:mm:ss");
    time->setTickCount(6);
    chart->addAxis(time, Qt::AlignBottom);
    const int64_t pad = std::max<int64_t>(span / 50, 1000);
    time->setRange(QDateTime::fromMSecsSinceEpoch(ToAxis(chart_.firstMs - (span ? 0 : pad))),
                   QDateTime::fromMSecsSinceEpoch(ToAxis(chart_.lastMs + (span ? 0 : pad))));

    std::vector<std::pair<QValueAxis*, double>> axes; // axis and the magnitude it was made for
    for (const device::LogSeries& s : chart_.series) {
        auto* line = new QLineSeries;
        line->setName(Q(s.name));
        chart->addSeries(line);
        line->attachAxis(time);
        const double magnitude = Magnitude(s);
        QValueAxis* axis = nullptr;
        for (auto& [a, m] : axes)
            if (magnitude / m < kScaleRatio && m / magnitude < kScaleRatio)
                axis = a;
        double low = s.minValue, high = s.maxValue;
        if (!axis) {
            axis = new QValueAxis;
            axis->setObjectName(Q("Axis " + s.name));
            axis->setTitleText(Q(s.name));
            axis->setLabelsColor(line->color());
            axis->setTitleBrush(line->color());
            chart->addAxis(axis, axes.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            axes.emplace_back(axis, magnitude);
        } else {
            low = std::min(low, axis->min());
            high = std::max(high, axis->max());
            axis->setTitleText(axis->titleText() + ", " + Q(s.name));
        }
        const double margin =
            high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(high) * 0.05);
        axis->setRange(low - margin, high + margin);
        line->attachAxis(axis);
        shownNames_.push_back(s.name);
    }
    // The legend turns a line on and off (its axis stays, so nothing jumps).
    for (QLegendMarker* marker : chart->legend()->markers()) {
        connect(marker, &QLegendMarker::clicked, this, [marker] {
            QAbstractSeries* series = marker->series();
            series->setVisible(!series->isVisible());
            marker->setVisible(true);
            QFont font = marker->font();
            font.setStrikeOut(!series->isVisible());
            marker->setFont(font);
        });
    }
    connect(time, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!redrawing_) {
            zoomed_ = true;
            redraw_->start();
        }
    });
    Redraw();
}

void LogChartView::Redraw() {
    QChart* chart = plot_->chart();
    const auto axes = chart->axes(Qt::Horizontal);
    if (axes.isEmpty())
        return;
    auto* time = static_cast<QDateTimeAxis*>(axes.front());
    const int64_t from = FromAxis(static_cast<double>(time->min().toMSecsSinceEpoch()));
    const int64_t to = FromAxis(static_cast<double>(time->max().toMSecsSinceEpoch()));
    const int width = std::max(100, static_cast<int>(chart->plotArea().width()));
    const auto lines = chart->series();
    redrawing_ = true;
    for (int i = 0; i < lines.size() && i < static_cast<int>(chart_.series.size()); ++i) {
        const std::vector<device::LogPoint> points =
            device::Decimate(chart_.series[static_cast<size_t>(i)].points, from, to, width);
        QList<QPointF> drawn;
        drawn.reserve(static_cast<qsizetype>(points.size()));
        for (const device::LogPoint& p : points)
            drawn.append(QPointF(static_cast<double>(ToAxis(p.ms)), p.value));
        static_cast<QLineSeries*>(lines[i])->replace(drawn);
    }
    redrawing_ = false;
}

void LogChartView::ShowNote() {
    QString text;
    if (!chart_.whyNoChart.empty()) {
        text = Q(chart_.whyNoChart);
    } else {
        text = QString("%1 records charted").arg(chart_.records - chart_.leftOut);
        if (chart_.reordered)
            text += ", drawn in time order";
        text += ". " + QString(kHint);
    }
    if (chart_.leftOut > 0)
        text += QString(" %1 record%2 with a malformed date, time or number left out (the text "
                        "keeps them).")
                    .arg(chart_.leftOut)
                    .arg(chart_.leftOut == 1 ? "" : "s");
    note_->setText(text);
}

void LogChartView::ResetZoom() {
    if (chart_.series.empty())
        return;
    Rebuild();
}

void LogChartView::ZoomTo(int64_t fromMs, int64_t toMs) {
    const auto axes = plot_->chart()->axes(Qt::Horizontal);
    if (axes.isEmpty())
        return;
    static_cast<QDateTimeAxis*>(axes.front())
        ->setRange(QDateTime::fromMSecsSinceEpoch(ToAxis(fromMs)),
                   QDateTime::fromMSecsSinceEpoch(ToAxis(toMs)));
    redraw_->stop();
    Redraw();
}

void LogChartView::Pan(double pixels) {
    plot_->chart()->scroll(pixels, 0);
    redraw_->stop();
    Redraw();
}

int LogChartView::DrawnPoints() const {
    int count = 0;
    for (QAbstractSeries* s : plot_->chart()->series())
        count += static_cast<int>(static_cast<QLineSeries*>(s)->count());
    return count;
}

int LogChartView::SeriesShown() const {
    int count = 0;
    for (QAbstractSeries* s : plot_->chart()->series())
        count += s->isVisible();
    return count;
}

QString LogChartView::ReadoutAt(int series, int64_t ms) const {
    if (series < 0 || series >= static_cast<int>(chart_.series.size()))
        return {};
    const device::LogSeries& s = chart_.series[static_cast<size_t>(series)];
    if (s.points.empty())
        return {};
    auto it = std::lower_bound(s.points.begin(), s.points.end(), ms,
                               [](const device::LogPoint& p, int64_t t) { return p.ms < t; });
    if (it == s.points.end() || (it != s.points.begin() && ms - (it - 1)->ms < it->ms - ms))
        --it;
    return TimeText(it->ms) + "  " + Q(s.name) + ": " + QString::number(it->value, 'g', 12);
}

bool LogChartView::SavePicture(const QString& path, QString* error) const {
    const QPixmap picture = plot_->grab();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (picture.isNull() || !picture.save(&buffer, "PNG")) {
        if (error)
            *error = path + ": the picture could not be made";
        return false;
    }
    std::string why;
    if (!WriteFileAtomically(path.toStdString(), std::string_view(bytes.constData(), bytes.size()),
                             &why)) {
        if (error)
            *error = Q(why);
        return false;
    }
    return true;
}

void LogChartView::SavePictureClick() {
    QString path = askPictureFile ? askPictureFile()
                                  : QFileDialog::getSaveFileName(this, kSavePictureTitle, QString(),
                                                                 kPictureFilter);
    if (path.isEmpty())
        return;
    if (!path.endsWith(".png", Qt::CaseInsensitive))
        path += ".png";
    QString error;
    if (!SavePicture(path, &error))
        QMessageBox::warning(this, kSavePictureTitle, QString(kPictureNotSaved) + "\n" + error);
}

} // namespace vantrel::ui
