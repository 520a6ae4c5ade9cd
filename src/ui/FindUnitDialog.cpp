#include "ui/FindUnitDialog.h"

#include "modbus/BusSettings.h"
#include "modbus/ModThread.h"
#include "modbus/PortSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel::ui {

const char* const kFindUnitCaption = "Find unit";
const char* const kUseThisUnitCaption = "Use this unit";

namespace {

constexpr const char* kSearchCaption = "Search";
constexpr const char* kCancelCaption = "Cancel";
constexpr const char* kCloseCaption = "Close";
constexpr const char* kSpeedsCaption = " Speeds ";
constexpr const char* kFormatCaption = " Framing and characters ";
constexpr const char* kAddressesCaption = " Addresses ";
constexpr const char* kFindAllCaption = "Find all units (else stop at the first)";
constexpr const char* kTimeOutLabel = "Probe time-out (msec):";
constexpr const char* kTimeOutAutomatic = "Automatic";
constexpr const char* kReadyText = "Choose what to search, then Search.";
constexpr const char* kNoUnitFoundText = "No unit found.";
constexpr const char* kCancelledText = "The search was stopped.";
constexpr const char* kPortClosedText = "The port was closed during the search.";
constexpr const char* kNoPortText = "No port is open: choose one in Port Setup first.";
constexpr const char* kLockedText =
    "The port settings are locked: clear \"Lock settings\" in Port Setup to use this unit.";
constexpr const char* kPortBusyText =
    "The port is busy with another run; search when it has ended.";
constexpr const char* kNothingToSearchText = "Choose at least one speed and one character format.";
constexpr const char* kUnitsFoundText = "Units found:";
constexpr const char* kBadAnswersPrefix = "Bad answers: ";
const char* const kFramingItems[] = {"RTU and ASCII", "RTU", "ASCII"};
const char* const kParityItems[] = {"No parity", "Even", "Odd"};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

FindUnitDialog::FindUnitDialog(modbus::TModThread& worker, modbus::PortSetup& setup,
                               std::function<void()> connectUnit, QWidget* owner)
    : QDialog(owner), worker_(worker), setup_(setup), connectUnit_(std::move(connectUnit)),
      search_(worker) {
    setObjectName("FindUnitDialog");
    setWindowTitle(kFindUnitCaption);
    auto* outer = new QVBoxLayout(this);

    auto* speeds = new QGroupBox(kSpeedsCaption, this);
    speeds->setObjectName("SpeedsBox");
    auto* sg = new QGridLayout(speeds);
    const std::vector<int>& unitSpeeds = device::UnitSpeeds();
    for (int i = 0; i < modbus::kSpeedCount; ++i) {
        auto* box = new QCheckBox(modbus::kSpeedNames[i], speeds);
        box->setObjectName(QString("Speed%1").arg(modbus::kSpeeds[i]));
        box->setChecked(std::find(unitSpeeds.begin(), unitSpeeds.end(), i) != unitSpeeds.end());
        sg->addWidget(box, i / 5, i % 5);
        speeds_.push_back(box);
    }
    outer->addWidget(speeds);

    auto* format = new QGroupBox(kFormatCaption, this);
    format->setObjectName("FormatBox");
    auto* fg = new QGridLayout(format);
    framing_ = new QComboBox(format);
    framing_->setObjectName("FramingCombo");
    for (const char* item : kFramingItems)
        framing_->addItem(item);
    fg->addWidget(framing_, 0, 0);
    auto* parities = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        auto* box = new QCheckBox(kParityItems[i], format);
        box->setObjectName(QString("Parity%1").arg(modbus::kParityTexts[i]));
        box->setChecked(i == 0);
        parities->addWidget(box);
        parities_.push_back(box);
    }
    fg->addLayout(parities, 0, 1);
    eightBits_ = new QCheckBox("8 data bits", format);
    eightBits_->setObjectName("EightBitsCheck");
    eightBits_->setChecked(true);
    sevenBits_ = new QCheckBox("7 data bits (ASCII)", format);
    sevenBits_->setObjectName("SevenBitsCheck");
    auto* bits = new QHBoxLayout;
    bits->addWidget(eightBits_);
    bits->addWidget(sevenBits_);
    fg->addLayout(bits, 1, 1);
    outer->addWidget(format);

    auto* addresses = new QGroupBox(kAddressesCaption, this);
    addresses->setObjectName("AddressesBox");
    auto* ag = new QFormLayout(addresses);
    auto* range = new QHBoxLayout;
    firstAddress_ = new QSpinBox(addresses);
    firstAddress_->setObjectName("FirstAddressEdit");
    firstAddress_->setRange(1, 247);
    firstAddress_->setValue(1);
    lastAddress_ = new QSpinBox(addresses);
    lastAddress_->setObjectName("LastAddressEdit");
    lastAddress_->setRange(1, 247);
    lastAddress_->setValue(247);
    range->addWidget(firstAddress_);
    range->addWidget(new QLabel("to", addresses));
    range->addWidget(lastAddress_);
    range->addStretch();
    ag->addRow("From", range);
    timeOut_ = new QSpinBox(addresses);
    timeOut_->setObjectName("ProbeTimeOutEdit");
    timeOut_->setRange(0, 9999);
    timeOut_->setSpecialValueText(kTimeOutAutomatic);
    timeOut_->setValue(0);
    ag->addRow(kTimeOutLabel, timeOut_);
    findAll_ = new QCheckBox(kFindAllCaption, addresses);
    findAll_->setObjectName("FindAllCheck");
    ag->addRow(findAll_);
    outer->addWidget(addresses);

    auto* run = new QHBoxLayout;
    start_ = new QPushButton(kSearchCaption, this);
    start_->setObjectName("SearchButton");
    start_->setDefault(true);
    cancel_ = new QPushButton(kCancelCaption, this);
    cancel_->setObjectName("CancelButton");
    run->addWidget(start_);
    run->addWidget(cancel_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("SearchProgress");
    run->addWidget(progress_, 1);
    outer->addLayout(run);
    status_ = new QLabel(kReadyText, this);
    status_->setObjectName("SearchStatusLabel");
    outer->addWidget(status_);
    bad_ = new QLabel(this);
    bad_->setObjectName("BadAnswersLabel");
    outer->addWidget(bad_);

    results_ = new QListWidget(this);
    results_->setObjectName("FoundUnitsList");
    // Wide enough for a unit's whole line.
    results_->setMinimumSize(QFontMetrics(font()).horizontalAdvance(
                                 "19200 8N1 ASCII address 247: R210-P-HX serial 0000000 version "
                                 "00:00:00") +
                                 24,
                             90);
    outer->addWidget(results_, 1);

    auto* end = new QHBoxLayout;
    end->addStretch();
    use_ = new QPushButton(kUseThisUnitCaption, this);
    use_->setObjectName("UseUnitButton");
    close_ = new QPushButton(kCloseCaption, this);
    close_->setObjectName("CloseButton");
    end->addWidget(use_);
    end->addWidget(close_);
    outer->addLayout(end);

    connect(start_, &QPushButton::clicked, this, [this] { StartSearch(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelSearch(); });
    connect(use_, &QPushButton::clicked, this, [this] { UseSelectedUnit(); });
    connect(close_, &QPushButton::clicked, this, [this] { close(); });
    connect(results_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(results_, &QListWidget::itemDoubleClicked, this, [this] { UseSelectedUnit(); });

    search_.progress = [this](const device::SearchProgress& p) { ShowProgress(p); };
    search_.unitFound = [this](const device::FoundUnit& unit) {
        found_.push_back(unit);
        results_->addItem(Q(device::FoundUnitText(unit)));
        if (results_->currentRow() < 0)
            results_->setCurrentRow(0);
    };
    UpdateButtons();
}

FindUnitDialog::~FindUnitDialog() = default;

FindUnitDialog* FindUnitDialog::Open(modbus::TModThread& worker, modbus::PortSetup& setup,
                                     std::function<void()> connectUnit, QWidget* owner) {
    auto* dialog =
        owner ? owner->findChild<FindUnitDialog*>("FindUnitDialog", Qt::FindDirectChildrenOnly)
              : nullptr;
    if (!dialog) {
        dialog = new FindUnitDialog(worker, setup, std::move(connectUnit), owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

device::SearchPlan FindUnitDialog::Plan() const {
    device::SearchPlan plan;
    plan.speeds.clear();
    // The units' speeds in their order (common ones first), then any other ticked.
    for (int speed : device::UnitSpeeds())
        if (speeds_[static_cast<size_t>(speed)]->isChecked())
            plan.speeds.push_back(speed);
    for (int i = 0; i < modbus::kSpeedCount; ++i)
        if (speeds_[static_cast<size_t>(i)]->isChecked() &&
            std::find(plan.speeds.begin(), plan.speeds.end(), i) == plan.speeds.end())
            plan.speeds.push_back(i);
    switch (framing_->currentIndex()) {
    case 1:
        plan.framings = {modbus::kFramingRtu};
        break;
    case 2:
        plan.framings = {modbus::kFramingAscii};
        break;
    default:
        plan.framings = {modbus::kFramingRtu, modbus::kFramingAscii};
        break;
    }
    plan.parities.clear();
    for (int i = 0; i < 3; ++i)
        if (parities_[static_cast<size_t>(i)]->isChecked())
            plan.parities.push_back(i);
    plan.dataBits.clear();
    if (eightBits_->isChecked())
        plan.dataBits.push_back(0);
    if (sevenBits_->isChecked())
        plan.dataBits.push_back(1);
    plan.stopBits = worker_.StopBits();
    plan.firstAddress = std::min(firstAddress_->value(), lastAddress_->value());
    plan.lastAddress = std::max(firstAddress_->value(), lastAddress_->value());
    plan.findAll = findAll_->isChecked();
    plan.probeTimeOutMs = timeOut_->value();
    return plan;
}

void FindUnitDialog::StartSearch() {
    if (search_.Running())
        return;
    const device::SearchPlan plan = Plan();
    if (!worker_.IsPortOpen()) {
        status_->setText(kNoPortText);
        return;
    }
    if (worker_.State() != modbus::Idle) {
        status_->setText(kPortBusyText);
        return;
    }
    if (plan.ProbeCount() == 0) {
        status_->setText(kNothingToSearchText);
        return;
    }
    found_.clear();
    results_->clear();
    bad_->clear();
    progress_->setRange(0, plan.ProbeCount());
    progress_->setValue(0);
    closeWhenDone_ = false;
    // Running() is true only inside Run: the buttons follow from the first progress report.
    if (setWindowsEnabled)
        setWindowsEnabled(false);
    const device::SearchEnd end = search_.Run(plan);
    if (setWindowsEnabled)
        setWindowsEnabled(true);
    switch (end) {
    case device::SearchEnd::Cancelled:
        status_->setText(kCancelledText);
        break;
    case device::SearchEnd::PortClosed:
        status_->setText(worker_.PortGone() ? Q(worker_.GoneText()) : QString(kPortClosedText));
        break;
    default:
        if (found_.empty())
            status_->setText(kNoUnitFoundText);
        break;
    }
    UpdateButtons();
    if (closeWhenDone_)
        close();
}

void FindUnitDialog::CancelSearch() {
    search_.Cancel();
}

void FindUnitDialog::UseSelectedUnit() {
    const int row = results_->currentRow();
    if (search_.Running() || row < 0 || row >= static_cast<int>(found_.size()))
        return;
    // Locked settings refuse every change; connecting with the old ones would look as if the
    // unit had been taken.
    if (setup_.lockSettings) {
        status_->setText(kLockedText);
        return;
    }
    const device::FoundUnit unit = found_[static_cast<size_t>(row)];
    setup_.SelectSpeedIndex(unit.settings.speed);
    setup_.SelectDataBitsIndex(unit.settings.dataBits);
    setup_.SelectParityIndex(unit.settings.parity);
    setup_.SelectStopBitsIndex(unit.settings.stopBits);
    setup_.SelectProtocol(unit.settings.framing);
    setup_.SetSlaveAddress(unit.address);
    const std::function<void()> connectUnit = connectUnit_;
    // The dialog has done its part; the connection runs with the main window in front.
    close();
    if (connectUnit)
        connectUnit();
}

void FindUnitDialog::ShowProgress(const device::SearchProgress& p) {
    progress_->setValue(p.done);
    if (search_.Running())
        status_->setText(QString("%1 of %2: %3 address %4, %5 left")
                             .arg(p.done)
                             .arg(p.total)
                             .arg(Q(device::SearchSettingsText(p.settings)))
                             .arg(p.address)
                             .arg(Q(device::TimeLeftText(p.msLeft))));
    else if (!found_.empty())
        status_->setText(QString("%1 %2 (%3 of %4 probes)")
                             .arg(kUnitsFoundText)
                             .arg(p.found)
                             .arg(p.done)
                             .arg(p.total));
    bad_->setText(p.badAnswers > 0 ? kBadAnswersPrefix + QString::number(p.badAnswers) : QString());
    UpdateButtons();
}

void FindUnitDialog::UpdateButtons() {
    const bool running = search_.Running();
    start_->setEnabled(!running);
    cancel_->setEnabled(running);
    use_->setEnabled(!running && results_->currentRow() >= 0);
    for (QWidget* choice : std::initializer_list<QWidget*>{
             framing_, eightBits_, sevenBits_, firstAddress_, lastAddress_, timeOut_, findAll_})
        choice->setEnabled(!running);
    for (QCheckBox* box : speeds_)
        box->setEnabled(!running);
    for (QCheckBox* box : parities_)
        box->setEnabled(!running);
}

void FindUnitDialog::closeEvent(QCloseEvent* event) {
    if (search_.Running()) {
        // The search's frame is still on the stack: it ends first, and the window with it.
        closeWhenDone_ = true;
        search_.Cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FindUnitDialog::reject() {
    // Escape: as the close box.
    if (search_.Running()) {
        closeWhenDone_ = true;
        search_.Cancel();
        return;
    }
    QDialog::reject();
}

} // namespace vantrel::ui
