#include "ui/BusMonitorWindow.h"

#include "common/FileUtil.h"
#include "host/Prompts.h"
#include "modbus/ModThread.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace vantrel::ui {

namespace {

constexpr const char* kTitle = "Bus monitor";
constexpr const char* kPauseText = "&Pause";
constexpr const char* kClearText = "C&lear";
constexpr const char* kErrorsOnlyText = "&Errors only";
constexpr const char* kSaveText = "&Save...";
constexpr const char* kSaveTitle = "Save bus monitor";
constexpr const char* kSaveFilter = "Text|*.txt|Any file|*.*";
constexpr const char* kSaveFailedCaption = "Save bus monitor";
// Often enough to look live, seldom enough that a Read device streaming rows costs little.
constexpr int kDrainMs = 250;

const char* const kColumns[] = {"Time",  "Direction", "Address",   "Function",
                                "Frame", "Meaning",   "Round trip"};
constexpr int kColumnCount = 7;
constexpr int kFrameColumn = 4;
constexpr int kInitialWidths[] = {90, 75, 60, 60, 290, 280, 80};

// Failed rows stand out: dark red on pale red. Frames thrown away that are no fault (a
// converter's echo) are grey.
const QColor kFailedBackground(255, 222, 222);
const QColor kFailedText(150, 0, 0);
const QColor kQuietText(128, 128, 128);

QString CellText(const modbus::TrafficRow& row, int column) {
    switch (column) {
    case 0:
        return QString::fromStdString(modbus::TimeOfDayText(row.wallMicros));
    case 1:
        return QString::fromLatin1(modbus::DirectionText(row.direction));
    case 2:
        return row.slave >= 0 ? QString::number(row.slave) : QString();
    case 3:
        return row.function >= 0 ? QString::number(row.function) : QString();
    case 4:
        return QString::fromStdString(row.bytes);
    case 5:
        return QString::fromStdString(row.meaning);
    case 6:
        return QString::fromStdString(modbus::RoundTripText(row.roundTripMicros));
    default:
        return {};
    }
}

// Keeps the rows of attempts that failed: the request and what came of it.
class ErrorsOnlyFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetOn(bool on) {
        on_ = on;
        invalidateRowsFilter();
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex&) const override {
        if (!on_)
            return true;
        const auto* model = static_cast<const TrafficTableModel*>(sourceModel());
        return model->Row(sourceRow).failedAttempt;
    }

private:
    bool on_ = false;
};

} // namespace

TrafficTableModel::TrafficTableModel(size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), ring_(capacity) {}

int TrafficTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ring_.Size());
}

int TrafficTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TrafficTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const modbus::TrafficRow& row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return CellText(row, index.column());
    case Qt::BackgroundRole:
        return row.failed ? QVariant(kFailedBackground) : QVariant();
    case Qt::ForegroundRole:
        if (row.failed)
            return kFailedText;
        if (row.direction == modbus::TrafficDirection::Discarded)
            return kQuietText;
        return {};
    case Qt::FontRole:
        if (index.column() == kFrameColumn) {
            // Asked for every cell painted: looked up once.
            static const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            return fixed;
        }
        return {};
    default:
        return {};
    }
}

QVariant TrafficTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromLatin1(kColumns[section]);
}

size_t TrafficTableModel::Append(std::vector<modbus::TrafficRow> rows) {
    if (rows.empty())
        return 0;
    // The ring drops the oldest as it goes; the view is told of the removal first.
    const size_t capacity = ring_.Capacity();
    if (rows.size() > capacity)
        rows.erase(rows.begin(), rows.end() - static_cast<std::ptrdiff_t>(capacity));
    const size_t overflow =
        ring_.Size() + rows.size() > capacity ? ring_.Size() + rows.size() - capacity : 0;
    if (overflow > 0) {
        beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
        // Removed here rather than inside the ring's Append, so that the view is told.
        for (size_t i = 0; i < overflow; ++i)
            ring_.DropOldest();
        endRemoveRows();
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    ring_.Append(std::move(rows));
    endInsertRows();
    return overflow;
}

void TrafficTableModel::Clear() {
    beginResetModel();
    ring_.Clear();
    endResetModel();
}

TBusMonitor::TBusMonitor(modbus::TModThread& worker, host::Prompts* prompts, QWidget* parent,
                         size_t capacity)
    : QWidget(parent, Qt::Window), worker_(worker), prompts_(prompts), queue_(capacity),
      capacity_(capacity), model_(new TrafficTableModel(capacity, this)),
      filter_(new ErrorsOnlyFilter(this)), table_(new QTableView(this)),
      pause_(new QPushButton(QString::fromUtf8(kPauseText), this)),
      errorsOnly_(new QCheckBox(QString::fromUtf8(kErrorsOnlyText), this)),
      counts_(new QLabel(this)), timer_(new QTimer(this)) {
    setObjectName("BusMonitor");
    setWindowTitle(QString::fromUtf8(kTitle));
    resize(1000, 420);

    filter_->setSourceModel(model_);
    table_->setObjectName("TrafficTable");
    table_->setModel(filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->verticalHeader()->hide();
    // Fixed row heights and column widths: a table of ten thousand rows that measured its
    // contents would cost more than the traffic it shows.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    for (int c = 0; c < kColumnCount; ++c)
        table_->setColumnWidth(c, kInitialWidths[c]);
    table_->horizontalHeader()->setStretchLastSection(true);

    pause_->setObjectName("PauseButton");
    pause_->setCheckable(true);
    auto* clear = new QPushButton(QString::fromUtf8(kClearText), this);
    clear->setObjectName("ClearButton");
    errorsOnly_->setObjectName("ErrorsOnlyCheckBox");
    auto* save = new QPushButton(QString::fromUtf8(kSaveText), this);
    save->setObjectName("SaveButton");
    counts_->setObjectName("CountsLabel");

    auto* tools = new QHBoxLayout;
    tools->addWidget(pause_);
    tools->addWidget(clear);
    tools->addWidget(errorsOnly_);
    tools->addWidget(save);
    tools->addStretch(1);
    tools->addWidget(counts_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(table_, 1);

    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused)
            Drain();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        held_.clear();
        model_->Clear();
        droppedOldest_ = 0;
        droppedBehind_ = 0;
        ShowCounts();
    });
    connect(errorsOnly_, &QCheckBox::toggled, this, [this](bool on) {
        static_cast<ErrorsOnlyFilter*>(filter_)->SetOn(on);
        ShowCounts();
    });
    connect(save, &QPushButton::clicked, this, [this] { SaveClick(); });
    timer_->setInterval(kDrainMs);
    connect(timer_, &QTimer::timeout, this, [this] { Drain(); });
    ShowCounts();
}

TBusMonitor::~TBusMonitor() {
    if (worker_.TrafficSinkAttached() == &queue_)
        worker_.SetTrafficSink(nullptr);
}

void TBusMonitor::ShowAndRaise() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TBusMonitor::showEvent(QShowEvent* event) {
    worker_.SetTrafficSink(&queue_);
    timer_->start();
    QWidget::showEvent(event);
}

void TBusMonitor::hideEvent(QHideEvent* event) {
    // Minimised (a hide the window system sends), it goes on collecting.
    if (event->spontaneous()) {
        QWidget::hideEvent(event);
        return;
    }
    // Closed, the monitor costs the transactions nothing: no rows are made for it.
    if (worker_.TrafficSinkAttached() == &queue_)
        worker_.SetTrafficSink(nullptr);
    timer_->stop();
    Drain();
    QWidget::hideEvent(event);
}

void TBusMonitor::Drain() {
    size_t behind = 0;
    std::vector<modbus::TrafficRow> rows = queue_.Take(&behind);
    droppedBehind_ += behind;
    if (!rows.empty())
        held_.insert(held_.end(), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
    if (held_.size() > capacity_) {
        const size_t excess = held_.size() - capacity_;
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(excess));
        droppedOldest_ += excess;
    }
    if (pause_->isChecked() || held_.empty()) {
        if (behind > 0 || !rows.empty())
            ShowCounts();
        return;
    }
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    droppedOldest_ += model_->Append(std::move(held_));
    held_.clear();
    if (atEnd)
        table_->scrollToBottom();
    ShowCounts();
}

void TBusMonitor::ShowCounts() {
    QString text = QString::number(filter_->rowCount()) + " rows";
    if (pause_->isChecked() && !held_.empty())
        text += ", " + QString::number(held_.size()) + " waiting";
    if (droppedOldest_ > 0)
        text += ", " + QString::number(droppedOldest_) + " older dropped";
    if (droppedBehind_ > 0)
        text += ", " + QString::number(droppedBehind_) + " dropped: the monitor fell behind";
    counts_->setText(text);
}

int TBusMonitor::ShownRows() const {
    return filter_->rowCount();
}

std::string TBusMonitor::ShownText() const {
    std::string text = modbus::HeaderLine() + "\r\n";
    for (int i = 0; i < filter_->rowCount(); ++i) {
        const int source = filter_->mapToSource(filter_->index(i, 0)).row();
        text += modbus::RowLine(model_->Row(source)) + "\r\n";
    }
    return text;
}

bool TBusMonitor::SaveTo(const std::string& path, std::string* error) const {
    return WriteFileAtomically(path, ShownText(), error);
}

void TBusMonitor::SaveClick() {
    if (!prompts_)
        return;
    host::FileDialogOptions options;
    options.title = kSaveTitle;
    options.fileName = "bus-monitor.txt";
    options.filter = kSaveFilter;
    options.defaultExtension = "txt";
    options.overwritePrompt = true;
    const std::optional<std::string> path = prompts_->SaveFileName(options);
    if (!path)
        return;
    std::string error;
    if (!SaveTo(*path, &error))
        prompts_->Inform(error, kSaveFailedCaption, host::PromptIcon::Error);
}

} // namespace vantrel::ui
