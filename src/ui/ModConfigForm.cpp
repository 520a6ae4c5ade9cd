#include "ui/ModConfigForm.h"

#include "editor/ControlTable.h"
#include "modbus/PortSetup.h"
#include "ui/PanelBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel::ui {

using modbus::PortSetup;

namespace {

constexpr int kClientWidth = 294;
constexpr int kBorder = 5;
constexpr int kStatusPanelWidth = 139;
constexpr int kUpDownEditWidth = 52;
// Background of ComportChanged for a new port and for a removed one (the window colour
// otherwise).
const QColor kNewPortColour(192, 220, 192);
const QColor kRemovedPortColour(180, 180, 180);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* Label(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    return label;
}

QComboBox* Combo(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    return combo;
}

void ShowCombo(QComboBox* combo, const modbus::ComboBox& model) {
    const QSignalBlocker blocker(combo);
    bool same = combo->count() == static_cast<int>(model.items.size());
    for (int i = 0; same && i < combo->count(); ++i)
        same = combo->itemText(i) == Q(model.items[static_cast<size_t>(i)]);
    if (!same) {
        combo->clear();
        for (const std::string& item : model.items)
            combo->addItem(Q(item));
    }
    combo->setCurrentIndex(model.index);
}

// The port list opens in two columns, the port and its device; the closed box shows the port.
class PortComboBox final : public QComboBox {
public:
    explicit PortComboBox(QWidget* parent) : QComboBox(parent) {}
    std::function<void()> aboutToShowPopup;

    void showPopup() override {
        if (aboutToShowPopup)
            aboutToShowPopup();
        if (auto* tree = qobject_cast<QTreeView*>(view())) {
            tree->resizeColumnToContents(0);
            tree->resizeColumnToContents(1);
            const int wanted = tree->columnWidth(0) + tree->columnWidth(1) + 24;
            tree->setMinimumWidth(std::max(width(), wanted));
        }
        QComboBox::showPopup();
    }
};

} // namespace

UpDownButtons::UpDownButtons(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(16, 11);
        button->setIconSize(QSize(7, 7));
        layout->addWidget(button);
    }
    connect(up_, &QToolButton::clicked, this, [this] { emit stepped(1); });
    connect(down_, &QToolButton::clicked, this, [this] { emit stepped(-1); });
}

TModConfigForm::TModConfigForm(PortSetup& setup, QWidget* mainWindow)
    : QDialog(mainWindow), setup_(setup), mainWindow_(mainWindow) {
    setObjectName("ModConfigForm");
    setModal(false);
    // A fixed single border with only the system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    Build();
    setup_.changed = [this] { Refresh(); };
    setup_.openFailed = [this](const std::string& reason) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(reason));
    };
    Refresh();
}

TModConfigForm::~TModConfigForm() {
    setup_.changed = nullptr;
    setup_.openFailed = nullptr;
    // The edits are deleted after this object's members; a focus-out they get then is no
    // exit of the dialog's.
    for (UpDownBinding& b : upDowns_)
        b.edit->removeEventFilter(this);
}

QLineEdit* TModConfigForm::AddUpDown(QGridLayout* grid, int row, QLabel* label, const QString& name,
                                     modbus::UpDownEdit& model,
                                     void (PortSetup::*change)(const std::string&),
                                     void (PortSetup::*exit)(), void (PortSetup::*click)(int)) {
    QWidget* parent = grid->parentWidget();
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name + "Edit");
    edit->setFixedWidth(kUpDownEditWidth);
    edit->setAlignment(Qt::AlignRight);
    auto* upDown = new UpDownButtons(parent);
    upDown->setObjectName(name + "UpDown");
    auto* pair = new QHBoxLayout;
    pair->setSpacing(0);
    pair->addWidget(edit);
    pair->addWidget(upDown);
    label->setWordWrap(true);
    grid->addWidget(label, row, 0);
    grid->addLayout(pair, row, 1, Qt::AlignRight);
    edit->installEventFilter(this);

    PortSetup& setup = setup_;
    upDowns_.push_back({&model, edit, upDown, label,
                        [&setup, change](const std::string& text) { (setup.*change)(text); },
                        [&setup, exit] { (setup.*exit)(); },
                        [&setup, click](int value) { (setup.*click)(value); }});
    connect(edit, &QLineEdit::textEdited, this, [this, edit](const QString& text) {
        if (refreshing_)
            return;
        UpDownBinding* b = BindingOf(edit);
        if (!b)
            return;
        // Pasted text passes the same key filter as typed text, character by character.
        for (const QChar c : text) {
            if (c.unicode() > 0x7f || !PortSetup::CheckKeyPress(static_cast<char>(c.unicode()))) {
                const QSignalBlocker blocker(edit);
                edit->setText(Q(b->model->text));
                return;
            }
        }
        b->change(text.toStdString());
    });
    connect(upDown, &UpDownButtons::stepped, this, [this, edit](int step) {
        UpDownBinding* b = BindingOf(edit);
        if (!b || !edit->isEnabled())
            return;
        const modbus::UpDownEdit& m = *b->model;
        b->click(std::clamp(m.value + step, m.min, m.max));
    });
    return edit;
}

void TModConfigForm::Build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kBorder, kBorder, kBorder, kBorder);

    // ---- " Communication setup "
    auto* comm = new QGroupBox(" Communication setup ", this);
    comm->setObjectName("CommunicationBox");
    auto* cg = new QGridLayout(comm);
    cg->setColumnStretch(1, 1);
    cg->addWidget(Label("Label8", "COM-port:", comm), 0, 0);
    allPorts_ = new QCheckBox("show all", comm);
    allPorts_->setObjectName("AllPortsCheckBox");
    allPorts_->setToolTip("If your port does not show, select this option.");
    cg->addWidget(allPorts_, 0, 1, Qt::AlignRight);

    auto* port = new PortComboBox(comm);
    port->setObjectName("ComPortComboBox");
    portItems_ = new QStandardItemModel(0, 2, port);
    auto* tree = new QTreeView(port);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(false);
    tree->setItemsExpandable(false);
    tree->setAllColumnsShowFocus(true);
    tree->setUniformRowHeights(true);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->header()->setStretchLastSection(true);
    port->setModel(portItems_);
    port->setView(tree);
    port->setModelColumn(0);
    port->aboutToShowPopup = [this] {
        setup_.ComPortComboBoxDropDown();
        RefreshPortList();
    };
    port_ = port;
    cg->addWidget(port_, 1, 0, 1, 2);
    connect(port_, qOverload<int>(&QComboBox::activated), this,
            [this](int i) { setup_.ComPortComboBoxSelect(i); });

    struct Line {
        const char* label;
        const char* labelText;
        const char* combo;
        QComboBox** widget;
        void (PortSetup::*select)(int);
    };
    const Line lines[] = {
        {"Label9", "Bits per second:", "ComSpeedComboBox", &speed_,
         &PortSetup::ComSpeedComboBoxSelect},
        {"Label10", "Data bits:", "ComDatabitsComboBox", &dataBits_,
         &PortSetup::ComDatabitsComboBoxSelect},
        {"Label11", "Parity:", "ComParityComboBox", &parity_, &PortSetup::ComParityComboBoxSelect},
        {"Label12", "Stop bits:", "ComStopbitsComboBox", &stopBits_,
         &PortSetup::ComStopbitsComboBoxSelect},
    };
    int row = 2;
    for (const Line& line : lines) {
        cg->addWidget(Label(line.label, line.labelText, comm), row, 0);
        QComboBox* combo = Combo(line.combo, comm);
        *line.widget = combo;
        cg->addWidget(combo, row, 1);
        const auto select = line.select;
        connect(combo, qOverload<int>(&QComboBox::activated), this,
                [&setup = setup_, select](int i) { (setup.*select)(i); });
        ++row;
    }

    auto* buttons = new QHBoxLayout;
    auto* release = new QPushButton("Release", comm);
    release->setObjectName("ReleaseButton");
    auto* connectButton = new QPushButton("Connect", comm);
    connectButton->setObjectName("ConnectButton");
    buttons->addWidget(release);
    buttons->addWidget(connectButton);
    cg->addLayout(buttons, row++, 0, 1, 2);
    connect(release, &QPushButton::clicked, this, [this] { setup_.ReleaseButtonClick(); });
    connect(connectButton, &QPushButton::clicked, this, [this] { setup_.ConnectButtonClick(); });
    auto* findUnitButton = new QPushButton(editor::kFindUnitButtonCaption, comm);
    findUnitButton->setObjectName("FindUnitButton");
    cg->addWidget(findUnitButton, row++, 0, 1, 2);
    connect(findUnitButton, &QPushButton::clicked, this, [this] {
        if (findUnit)
            findUnit();
    });

    cg->addWidget(Label("PortsChangedLabel", "Ports-list changed:", comm), row, 0);
    changed_ = new QLineEdit(comm);
    changed_->setObjectName("ComportChanged");
    changed_->setReadOnly(true);
    changed_->setFocusPolicy(Qt::NoFocus);
    cg->addWidget(changed_, row++, 1);

    status_ = new PanelBar(comm);
    status_->setObjectName("ComportStatusBar");
    status_->SetPanels({{kStatusPanelWidth, Qt::AlignLeft, "Status: ", true},
                        {kStatusPanelWidth, Qt::AlignLeft, "Settings: ", true}});
    cg->addWidget(status_, row++, 0, 1, 2);
    outer->addWidget(comm);

    // ---- " Modbus setup "
    auto* bus = new QGroupBox(" Modbus setup ", this);
    bus->setObjectName("ModbusBox");
    auto* mg = new QGridLayout(bus);
    mg->setColumnStretch(0, 1);
    mg->addWidget(Label("Label6", "Protocol", bus), 0, 0);
    ascii_ = new QRadioButton("ASCII", bus);
    ascii_->setObjectName("ProtocolASCIIRadio");
    ascii_->setToolTip("ASCII (Character terminated)");
    rtu_ = new QRadioButton("RTU", bus);
    rtu_->setObjectName("ProtocolRTURadio");
    rtu_->setToolTip("RTU (Time-out terminated)");
    auto* protocols = new QHBoxLayout;
    protocols->addWidget(ascii_);
    protocols->addWidget(rtu_);
    mg->addLayout(protocols, 0, 1, Qt::AlignRight);
    connect(ascii_, &QRadioButton::clicked, this, [this] { setup_.ProtocolASCIIRadioClick(); });
    connect(rtu_, &QRadioButton::clicked, this, [this] { setup_.ProtocolRTURadioClick(); });

    AddUpDown(mg, 1, Label("BusAddressLabel", "Slave address", bus), "BusAddress",
              setup_.BusAddress, &PortSetup::BusAddressEditChange, &PortSetup::BusAddressEditExit,
              &PortSetup::BusAddressUpDownClick);
    AddUpDown(mg, 2, Label("Label5", "Number of tries", bus), "Retries", setup_.Retries,
              &PortSetup::RetriesEditChange, &PortSetup::RetriesEditExit,
              &PortSetup::RetriesUpDownClick);
    responseLabel_ = Label("Label4", "", bus);
    AddUpDown(mg, 3, responseLabel_, "Response", setup_.Response, &PortSetup::ResponseEditChange,
              &PortSetup::ResponseEditExit, &PortSetup::ResponseUpDownClick);
    AddUpDown(mg, 4, Label("Label7", "RTU time-out (msec, 0 for default)", bus), "RTU", setup_.Rtu,
              &PortSetup::RTUEditChange, &PortSetup::RTUEditExit, &PortSetup::RTUUpDownClick);
    outer->addWidget(bus);

    // ---- " Miscellaneous "
    miscellaneous_ = new QGroupBox(" Miscellaneous ", this);
    miscellaneous_->setObjectName("MiscellaneousBox");
    auto* misc = new QVBoxLayout(miscellaneous_);
    lock_ = new QCheckBox("&Lock settings", miscellaneous_);
    lock_->setObjectName("LockCheckBox");
    onTop_ = new QCheckBox("&Always on top", miscellaneous_);
    onTop_->setObjectName("OnTopCheckBox");
    cv700_ = new QCheckBox("&CV700 Mode", miscellaneous_);
    cv700_->setObjectName("CV700ProtocolCheckBox");
    for (QCheckBox* box : {lock_, onTop_, cv700_})
        misc->addWidget(box);
    outer->addWidget(miscellaneous_);
    connect(allPorts_, &QCheckBox::clicked, this,
            [this](bool on) { setup_.AllPortsCheckBoxClick(on); });
    connect(lock_, &QCheckBox::clicked, this, [this](bool on) { setup_.LockCheckBoxClick(on); });
    connect(onTop_, &QCheckBox::clicked, this, [this](bool on) { setup_.OnTopCheckBoxClick(on); });
    connect(cv700_, &QCheckBox::clicked, this,
            [this](bool on) { setup_.CV700ProtocolCheckBoxClick(on); });

    outer->addStretch(1);
    close_ = new QPushButton("&Close", this);
    close_->setObjectName("CloseButton");
    auto* monitor = new QPushButton("&Bus monitor...", this);
    monitor->setObjectName("BusMonitorButton");
    connect(monitor, &QPushButton::clicked, this, [this] {
        if (showBusMonitor)
            showBusMonitor();
    });
    auto* closeRow = new QHBoxLayout;
    closeRow->addWidget(monitor);
    closeRow->addStretch(1);
    closeRow->addWidget(close_);
    outer->addLayout(closeRow);
    connect(close_, &QPushButton::clicked, this, [this] { setup_.CloseButtonClick(); });
}

TModConfigForm::UpDownBinding* TModConfigForm::BindingOf(QObject* edit) {
    for (UpDownBinding& b : upDowns_)
        if (b.edit == edit)
            return &b;
    return nullptr;
}

void TModConfigForm::RefreshPortList() {
    const modbus::ComboBox& model = setup_.ComPortComboBox;
    const QSignalBlocker blocker(port_);
    bool same = portItems_->rowCount() == static_cast<int>(model.items.size());
    for (int i = 0; same && i < portItems_->rowCount(); ++i) {
        const std::string device =
            i < static_cast<int>(setup_.deviceNames.size()) ? setup_.deviceNames[i] : "";
        same = portItems_->item(i, 0)->text() == Q(model.items[i]) &&
               portItems_->item(i, 1)->text() == Q(device);
    }
    if (!same) {
        portItems_->removeRows(0, portItems_->rowCount());
        for (size_t i = 0; i < model.items.size(); ++i) {
            const QString device =
                i < setup_.deviceNames.size() ? Q(setup_.deviceNames[i]) : QString();
            auto* name = new QStandardItem(Q(model.items[i]));
            auto* path = new QStandardItem(device);
            path->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            name->setToolTip(device);
            path->setToolTip(device);
            portItems_->appendRow({name, path});
        }
    }
    port_->setCurrentIndex(model.index);
    const int index = model.index;
    port_->setToolTip(index >= 0 && index < static_cast<int>(setup_.deviceNames.size())
                          ? Q(setup_.deviceNames[static_cast<size_t>(index)])
                          : QString());
}

void TModConfigForm::Refresh() {
    refreshing_ = true;
    setWindowTitle(Q(setup_.caption));
    {
        const QSignalBlocker b(allPorts_);
        allPorts_->setChecked(setup_.allPorts);
    }
    RefreshPortList();
    ShowCombo(speed_, setup_.ComSpeedComboBox);
    ShowCombo(dataBits_, setup_.ComDatabitsComboBox);
    ShowCombo(parity_, setup_.ComParityComboBox);
    ShowCombo(stopBits_, setup_.ComStopbitsComboBox);

    changed_->setText(Q(setup_.ComportChanged));
    QPalette pal = changed_->palette();
    switch (setup_.changedColour) {
    case modbus::ChangeColour::Window:
        pal.setColor(QPalette::Base, palette().color(QPalette::Window));
        break;
    case modbus::ChangeColour::NewPort:
        pal.setColor(QPalette::Base, kNewPortColour);
        break;
    case modbus::ChangeColour::Removed:
        pal.setColor(QPalette::Base, kRemovedPortColour);
        break;
    }
    changed_->setPalette(pal);
    status_->SetText(0, Q(setup_.statusPanel));
    status_->SetText(1, Q(setup_.settingsPanel));

    {
        const QSignalBlocker a(ascii_), r(rtu_);
        rtu_->setChecked(setup_.protocolRtu);
        ascii_->setChecked(!setup_.protocolRtu);
    }
    responseLabel_->setText(Q(setup_.responseLabel));
    for (UpDownBinding& b : upDowns_) {
        const QSignalBlocker blocker(b.edit);
        b.edit->setMaxLength(static_cast<int>(b.model->maxLength));
        b.edit->setReadOnly(b.model->readOnly);
        if (b.edit->text() != Q(b.model->text))
            b.edit->setText(Q(b.model->text));
    }
    for (auto [box, on] :
         {std::pair{lock_, setup_.lockSettings}, {onTop_, setup_.onTop}, {cv700_, setup_.cv700}}) {
        const QSignalBlocker blocker(box);
        box->setChecked(on);
    }
    refreshing_ = false;
    ApplyVisibility();
}

void TModConfigForm::FitSize() {
    layout()->activate();
    const QSize hint = layout()->sizeHint();
    setFixedSize(std::max(kClientWidth, hint.width()), hint.height());
}

void TModConfigForm::ApplyVisibility() {
    bool relayout = false;
    for (UpDownBinding& b : upDowns_) {
        if (b.edit->isVisibleTo(this) != b.model->visible) {
            b.edit->setVisible(b.model->visible);
            b.upDown->setVisible(b.model->visible);
            b.label->setVisible(b.model->visible);
            relayout = true;
        }
    }
    if (miscellaneous_->isVisibleTo(this) != setup_.miscellaneousVisible) {
        miscellaneous_->setVisible(setup_.miscellaneousVisible);
        relayout = true;
    }
    if (relayout || width() != std::max(kClientWidth, layout()->sizeHint().width()))
        FitSize();

    // The stay-on-top flag takes a new native window, which hides the dialog; show it again.
    if (setup_.onTop != onTopShown_) {
        onTopShown_ = setup_.onTop;
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, setup_.onTop);
        if (wasVisible)
            show();
    }

    if (setup_.visible && !isVisible()) {
        show();
        Place();
        raise();
        activateWindow();
        close_->setFocus();
    } else if (!setup_.visible && isVisible()) {
        hide();
    }
}

void TModConfigForm::Place() {
    QWidget* active = QApplication::activeWindow();
    if (active == this)
        active = nullptr;
    QWidget* reference = active ? active : mainWindow_.data();
    if (!reference)
        return;
    const QRect ref = reference->frameGeometry();
    const QRect own = frameGeometry();
    QScreen* screen = reference->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const modbus::Placement placement =
        modbus::PlaceDialog({ref.left() - area.left(), ref.top(), ref.width(), ref.height()},
                            {own.width(), own.height()}, area.width(), active != nullptr);
    move(area.left() + placement.dialogPos.x, placement.dialogPos.y);
    if (active && placement.moveActiveWindowTo)
        active->move(area.left() + placement.moveActiveWindowTo->x,
                     placement.moveActiveWindowTo->y);
}

void TModConfigForm::RaiseAndFocus() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

bool TModConfigForm::eventFilter(QObject* watched, QEvent* event) {
    UpDownBinding* b = BindingOf(watched);
    if (!b)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            emit b->upDown->stepped(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        const QString text = key->text();
        if (key->key() == Qt::Key_Backspace)
            return !PortSetup::CheckKeyPress('\b');
        // Keys that type a character go through the dialog's key filter; the others
        // (cursor movement, shortcuts) are the edit's own.
        if (text.size() == 1 && text[0].isPrint() && !(key->modifiers() & Qt::ControlModifier))
            return text[0].unicode() > 0x7f ||
                   !PortSetup::CheckKeyPress(static_cast<char>(text[0].unicode()));
    } else if (event->type() == QEvent::FocusOut) {
        b->exit();
    }
    return QDialog::eventFilter(watched, event);
}

void TModConfigForm::closeEvent(QCloseEvent* event) {
    // The title bar's close button does what "&Close" does: the model hides the dialog.
    event->ignore();
    setup_.CloseButtonClick();
}

void TModConfigForm::reject() {
    setup_.CloseButtonClick();
}

void TModConfigForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) {
        setup_.FormDeactivate();
        close_->setFocus();
    }
    QDialog::changeEvent(event);
}

} // namespace vantrel::ui
