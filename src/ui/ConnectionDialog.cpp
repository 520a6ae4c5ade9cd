#include "ui/ConnectionDialog.h"

#include "device/ConnectionForm.h"
#include "host/Pump.h"
#include "ui/QtPrompts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <chrono>

namespace vantrel::ui {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The wait has no end of its own: the user decides. This only bounds one round of it.
constexpr std::chrono::hours kWaitRound{1};

} // namespace

ConnectionDialog::ConnectionDialog(device::TConnectionForm& model, QWidget* owner)
    : QDialog(owner), model_(model) {
    setObjectName("TConnectionForm");
    setWindowTitle(Q(model_.caption));
    setModal(false);

    message_ = new QLabel(this);
    message_->setObjectName("lblMessage");
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(false);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* select = new QLabel(Q(model_.selectLabel), this);
    select->setObjectName("Label1");
    units_ = new QComboBox(this);
    units_->setObjectName("cbUnitSelect");
    for (const std::string& item : model_.cbUnitSelectItems)
        units_->addItem(Q(item));
    // No choice yet: the combo box shows its initial text instead.
    units_->setPlaceholderText(Q(model_.cbUnitSelectText));
    units_->setMinimumContentsLength(static_cast<int>(model_.cbUnitSelectText.size()));
    progress_ = new QProgressBar(this);
    progress_->setObjectName("sbDetectProgress");
    progress_->setTextVisible(false);

    auto* connectButton = new QPushButton(Q(model_.btnConnectUnitAsCaption), this);
    connectButton->setObjectName("btnConnectUnitAs");
    connectButton->setDefault(true);
    auto* cancel = new QPushButton(Q(model_.btnCancelCaption), this);
    cancel->setObjectName("btnCancel");
    retry_ = new QPushButton(Q(model_.btnRetryConnectCaption), this);
    retry_->setObjectName("btnRetryConnect");

    auto* status = new QStatusBar(this);
    status->setObjectName("StatusBar1");
    status->setSizeGripEnabled(false);

    auto* choice = new QHBoxLayout;
    choice->addWidget(select);
    choice->addWidget(units_, 1);
    choice->addWidget(progress_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(retry_);
    buttons->addWidget(connectButton);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 0);
    layout->setSpacing(10);
    layout->addWidget(message_);
    layout->addLayout(choice);
    layout->addLayout(buttons);
    layout->addWidget(status);

    connect(units_, &QComboBox::activated, this, [this](int index) {
        model_.SelectUnit(index);
        ShowModel();
    });
    connect(connectButton, &QPushButton::clicked, this, [this] {
        model_.btnConnectUnitAsClick();
        ShowModel();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        model_.btnCancelClick();
        ShowModel();
    });

    ShowModel();
    layout->activate();
    setFixedSize(sizeHint());
}

void ConnectionDialog::ShowModel() {
    message_->setText(Q(PlainLines(model_.lblMessage)));
    units_->setVisible(model_.cbUnitSelectVisible);
    if (units_->currentIndex() != model_.cbUnitSelectIndex)
        units_->setCurrentIndex(model_.cbUnitSelectIndex);
    progress_->setVisible(model_.sbDetectProgressVisible);
    retry_->setVisible(model_.btnRetryConnectVisible);
    if (QStatusBar* status = findChild<QStatusBar*>("StatusBar1"))
        status->showMessage(Q(model_.statusBarText));
    if (!model_.visible && isVisible())
        hide();
}

void ConnectionDialog::closeEvent(QCloseEvent* event) {
    // Closed by the title bar while still asking: the unit is not configured.
    if (model_.visible)
        model_.btnCancelClick();
    event->accept();
}

void ConnectionDialog::reject() {
    model_.btnCancelClick();
    ShowModel();
}

void ConnectionDialog::Run(device::TConnectionForm& model, QWidget* owner, host::Pump& pump) {
    QPointer<ConnectionDialog> dialog = new ConnectionDialog(model, owner);
    if (owner) {
        const QRect area = owner->frameGeometry();
        dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    // Hidden by the model, or gone with its owner: either way the wait is over.
    while (model.visible && dialog)
        pump.WaitUntil([&] { return !model.visible || !dialog; }, kWaitRound);
    if (model.visible)
        model.btnCancelClick();
    delete dialog.data();
}

} // namespace vantrel::ui
