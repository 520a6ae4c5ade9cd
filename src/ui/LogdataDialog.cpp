#include "ui/LogdataDialog.h"

#include "device/DeviceAccess.h"
#include "device/LogdataForm.h"
#include "host/Pump.h"
#include "modbus/Bus.h"
#include "ui/LogChartView.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace vantrel::ui {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Texts from the unit are single bytes of the Windows ANSI code page; Latin-1 shows them.
QString FromUnit(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The window stays open as long as the user wants; this only bounds one round of the wait.
constexpr std::chrono::hours kWaitRound{1};

constexpr const char* kOpenLogFileCaption = "Open log file...";
constexpr const char* kReadoutTab = "Readout";
constexpr const char* kChartTab = "Chart";
// While records arrive the chart follows the text at this pace, not at every record.
constexpr int kChartFollowMs = 300;

} // namespace

LogdataDialog::LogdataDialog(device::TLogdataForm& model, QWidget* owner)
    : QDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      model_(model) {
    setObjectName("TLogdataForm");
    setWindowTitle(Q(model_.caption));
    setModal(false);

    auto* prompt = new QLabel(Q(device::kLogListPrompt), this);
    prompt->setObjectName("Label1");
    lists_ = new QComboBox(this);
    lists_->setObjectName("cbLogLists");
    lists_->setPlaceholderText(Q(device::kLogListPlaceholder));
    lists_->setMinimumContentsLength(16);
    read_ = new QPushButton(Q(model_.btnReadData), this);
    read_->setObjectName("btnReadData");
    read_->setDefault(true);
    save_ = new QPushButton(Q(device::kSaveLogDataCaption), this);
    save_->setObjectName("SaveButton");
    setup_ = new QToolButton(this);
    setup_->setObjectName("SpeedButton1");
    setup_->setToolTip(Q(device::kModbusSetupHint));
    setup_->setIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    setup_->setAutoRaise(true);
    header_ = new QLineEdit(this);
    header_->setObjectName("lblHeader");
    header_->setReadOnly(true);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo3");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics(memo_->font());
    memo_->setMinimumSize(metrics.horizontalAdvance(QString(76, QChar('='))) + 30,
                          metrics.lineSpacing() * 24);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ReadProgress");
    progress_->setFormat(QStringLiteral("%v / %m"));
    open_ = new QPushButton(Q(kOpenLogFileCaption), this);
    open_->setObjectName("OpenLogFileButton");
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("LogdataTabs");
    tabs_->addTab(memo_, Q(kReadoutTab));
    chart_ = new LogChartView(tabs_);
    tabs_->addTab(chart_, Q(kChartTab));
    chartTimer_ = new QTimer(this);
    chartTimer_->setSingleShot(true);
    chartTimer_->setInterval(kChartFollowMs);
    connect(chartTimer_, &QTimer::timeout, this, &LogdataDialog::UpdateChart);

    auto* choice = new QHBoxLayout;
    choice->addWidget(prompt);
    choice->addWidget(lists_, 1);
    choice->addWidget(read_);
    choice->addWidget(save_);
    choice->addWidget(open_);
    choice->addWidget(setup_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addLayout(choice);
    layout->addWidget(header_);
    layout->addWidget(tabs_, 1);
    layout->addWidget(progress_);

    connect(lists_, &QComboBox::activated, this, [this](int index) {
        model_.cbLogListsSelect(index);
        ShowModel();
    });
    // A readout runs inside this click, pumping events: the window is refreshed through the
    // model's changed callback meanwhile.
    connect(read_, &QPushButton::clicked, this, [this] {
        model_.btnReadDataClick();
        ShowModel();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        model_.Button3Click();
        ShowModel();
    });
    connect(open_, &QPushButton::clicked, this, [this] { OpenLogFile(); });
    connect(setup_, &QToolButton::clicked, this, [this] {
        model_.SpeedButton1Click();
        ShowModel();
    });
    model_.changed = [this] { ShowModel(); };

    ShowModel();
    layout->activate();
    setFixedSize(sizeHint());
}

LogdataDialog::~LogdataDialog() {
    model_.changed = nullptr;
}

void LogdataDialog::ShowModel() {
    if (shownItems_ != model_.cbLogLists) {
        lists_->clear();
        for (const std::string& item : model_.cbLogLists)
            lists_->addItem(FromUnit(item));
        shownItems_ = model_.cbLogLists;
    }
    if (lists_->currentIndex() != model_.cbLogListsIndex)
        lists_->setCurrentIndex(model_.cbLogListsIndex);
    read_->setText(Q(model_.btnReadData));
    header_->setText(FromUnit(model_.lblHeader));

    // Lines are only ever added, but for a new readout that starts afresh: append what is
    // new, rebuild when the text was replaced.
    const std::vector<std::string>& lines = model_.Memo3;
    if (lines.size() < shownLines_ || (shownLines_ > 0 && lines.front() != shownFirstLine_)) {
        memo_->clear();
        shownLines_ = 0;
        chartTimer_->start();
    }
    if (lines.size() != shownLines_ && !chartTimer_->isActive())
        chartTimer_->start();
    if (shownLines_ == 0 && lines.size() > 1) {
        // A whole text at once (a file opened): one layout, not one for each of its lines.
        QString text;
        for (const std::string& line : lines)
            text += FromUnit(line) + '\n';
        text.chop(1);
        memo_->setPlainText(text);
        shownLines_ = lines.size();
    }
    for (; shownLines_ < lines.size(); ++shownLines_)
        memo_->appendPlainText(FromUnit(lines[shownLines_]));
    shownFirstLine_ = lines.empty() ? std::string() : lines.front();

    // Idle, no list read yet: an empty bar, not "0 / 1" of a readout that is not there.
    if (model_.recordCount > 0) {
        progress_->setTextVisible(true);
        progress_->setRange(0, model_.recordCount);
        progress_->setValue(std::min(model_.recordsRead, model_.recordCount));
    } else {
        progress_->setTextVisible(false);
        progress_->setRange(0, 1);
        progress_->setValue(0);
    }

    open_->setEnabled(!model_.Busy());

    if (!model_.visible && isVisible())
        hide();
}

void LogdataDialog::UpdateChart() {
    chartTimer_->stop();
    const std::vector<std::string>& lines = model_.Memo3;
    // A text that was replaced (a new readout, a file opened) starts the series afresh.
    if (lines.size() < chartedLines_ || (chartedLines_ > 0 && lines.front() != chartedFirstLine_))
        chartedLines_ = 0;
    if (chartedLines_ == 0)
        series_.Clear();
    series_.AddLines(lines, chartedLines_);
    chartedLines_ = lines.size();
    chartedFirstLine_ = lines.empty() ? std::string() : lines.front();
    chart_->SetChart(series_.Chart());
}

void LogdataDialog::OpenLogFile(const QString& given) {
    if (model_.Busy())
        return;
    bool loaded = false;
    if (given.isEmpty()) {
        loaded = model_.OpenLogFileClick();
    } else {
        std::string error;
        loaded = model_.LoadFrom(given.toStdString(), &error);
        if (!loaded)
            QMessageBox::warning(this, windowTitle(), Q(error));
    }
    ShowModel();
    if (!loaded)
        return;
    chartedLines_ = 0;
    UpdateChart();
    tabs_->setCurrentWidget(chart_);
}

void LogdataDialog::closeEvent(QCloseEvent* event) {
    if (!model_.visible || model_.FormClose()) {
        event->accept();
        ShowModel();
    } else {
        event->ignore();
    }
}

void LogdataDialog::reject() {
    close();
}

void LogdataDialog::RunWithFile(device::TLogdataForm& model, QWidget* owner, host::Pump& pump,
                                const QString& path) {
    QPointer<LogdataDialog> dialog = new LogdataDialog(model, owner);
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    model.visible = true;
    dialog->show();
    dialog->ShowModel();
    dialog->OpenLogFile(path);
    while (model.visible && dialog)
        pump.WaitUntil([&] { return !model.visible || !dialog; }, kWaitRound);
    if (model.visible)
        model.FormClose();
    delete dialog.data();
}

void LogdataDialog::OpenFile(device::TDeviceAccess& access, QWidget* mainWindow, host::Pump& pump,
                             const QString& path) {
    // No unit is asked, so none needs to be there: the worker is left alone.
    device::TLogdataForm model(
        access.Worker(), [&access] { return access.BusAddress(); }, nullptr, access.UserPrompts());
    model.now = access.now;
    model.showPopups = [&access] { return access.MainForm().ShowPopups; };
    model.savedRetries = access.Worker().Retries(); // what closing puts back
    access.SetWindowEnabled(false);
    RunWithFile(model, mainWindow, pump, path);
    access.SetWindowEnabled(true);
    if (mainWindow) {
        mainWindow->raise();
        mainWindow->activateWindow();
    }
}

void LogdataDialog::Run(device::TLogdataForm& model, QWidget* owner, host::Pump& pump) {
    QPointer<LogdataDialog> dialog = new LogdataDialog(model, owner);
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    model.FormShow();
    // Hidden by the model (closed), or gone with its owner: either way the wait is over.
    while (model.visible && dialog)
        pump.WaitUntil([&] { return !model.visible || !dialog; }, kWaitRound);
    if (model.visible)
        model.FormClose();
    delete dialog.data();
}

void LogdataDialog::Open(device::TDeviceAccess& access, modbus::TModbus& bus, QWidget* mainWindow,
                         host::Pump& pump) {
    device::LogdataButtonClick(
        access,
        [&](device::TLogdataForm& model) {
            Run(model, mainWindow, pump);
            if (mainWindow) {
                mainWindow->raise();
                mainWindow->activateWindow();
            }
        },
        [&bus] { bus.ModbusSetupClick(); });
}

} // namespace vantrel::ui
