#include "ui/ModbusBar.h"

#include "modbus/Bus.h"
#include "ui/BusMonitorWindow.h"
#include "ui/ModConfigForm.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QRadialGradient>

namespace vantrel::ui {

namespace {

constexpr int kLampSize = 16;
constexpr const char* kSetupItem = "&Modbus Setup";
constexpr const char* kMonitorItem = "&Bus monitor";
const QKeySequence kMonitorKey(Qt::CTRL | Qt::Key_M);

QColor ColourOf(modbus::TModbus::Lamp lamp) {
    switch (lamp) {
    case modbus::TModbus::Lamp::Black:
        return QColor(0, 0, 0);
    case modbus::TModbus::Lamp::Green:
        return QColor(0, 255, 0);
    case modbus::TModbus::Lamp::Yellow:
        return QColor(255, 255, 0);
    case modbus::TModbus::Lamp::Red:
        return QColor(255, 0, 0);
    }
    return Qt::black;
}

// A small lit bulb: the colour with a highlight towards the top left and a dark rim.
QPixmap LampImage(const QColor& colour) {
    QPixmap image(kLampSize, kLampSize);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(5.5, 5.0), 9.0);
    glow.setColorAt(0.0, colour.lighter(colour == Qt::black ? 400 : 160));
    glow.setColorAt(0.6, colour);
    glow.setColorAt(1.0, colour.darker(170));
    p.setBrush(glow);
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    p.drawEllipse(QRectF(1.5, 1.5, kLampSize - 3.0, kLampSize - 3.0));
    return image;
}

} // namespace

std::vector<QPixmap> LampImages() {
    return {LampImage(ColourOf(modbus::TModbus::Lamp::Black)),
            LampImage(ColourOf(modbus::TModbus::Lamp::Green)),
            LampImage(ColourOf(modbus::TModbus::Lamp::Yellow)),
            LampImage(ColourOf(modbus::TModbus::Lamp::Red))};
}

TModbus::TModbus(modbus::TModbus& bus, QWidget* parent)
    : PanelBar(parent), bus_(bus), images_(LampImages()), menu_(new QMenu(this)) {
    setObjectName("Modbus1");
    QAction* setup = menu_->addAction(QString::fromUtf8(kSetupItem));
    setup->setObjectName("ModbusSetupItem");
    connect(setup, &QAction::triggered, this, [this] { bus_.ModbusSetupClick(); });
    QAction* monitor = menu_->addAction(QString::fromUtf8(kMonitorItem));
    monitor->setObjectName("BusMonitorItem");
    monitor->setShortcut(kMonitorKey);
    connect(monitor, &QAction::triggered, this, [this] { ShowBusMonitor(); });
    // Ctrl+M works anywhere in the main window, not only while the menu is open.
    if (parent) {
        auto* shortcut = new QAction(this);
        shortcut->setObjectName("BusMonitorShortcut");
        shortcut->setShortcut(kMonitorKey);
        shortcut->setShortcutContext(Qt::WindowShortcut);
        parent->window()->addAction(shortcut);
        connect(shortcut, &QAction::triggered, this, [this] { ShowBusMonitor(); });
    }

    std::vector<Panel> panels(4);
    panels[0].bevel = false;
    panels[0].ownerDrawn = true;
    panels[1].alignment = Qt::AlignHCenter;
    SetPanels(std::move(panels));
    drawPanel = [this](QPainter& painter, int, const QRect& rect) { DrawLamp(painter, rect); };

    dialog_ = new TModConfigForm(*bus_.ModConfigForm(), parent ? parent->window() : nullptr);
    bus_.raiseSetup = [this] {
        bus_.raiseRequested = false;
        dialog_->RaiseAndFocus();
    };
    bus_.changed = [this] { Refresh(); };
    dialog_->showBusMonitor = [this] { ShowBusMonitor(); };
    Refresh();
}

TBusMonitor* TModbus::BusMonitor() {
    if (!monitor_) {
        // A window of its own (not modal), owned with the main window so it closes with it.
        QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        monitor_ = new TBusMonitor(*bus_.ModThread(), prompts_, owner);
    }
    return monitor_;
}

void TModbus::ShowBusMonitor() {
    BusMonitor()->ShowAndRaise();
}

TModbus::~TModbus() {
    // The monitor lets go of the worker before the bus ends it.
    delete monitor_;
    bus_.changed = nullptr;
    bus_.raiseSetup = nullptr;
}

void TModbus::SetImages(std::vector<QPixmap> images) {
    images_ = std::move(images);
    update();
}

void TModbus::Refresh() {
    for (int i = 0; i < 4; ++i) {
        SetWidth(i, bus_.panelWidths[i]);
        SetText(i, QString::fromStdString(bus_.panels[i]));
    }
    // The lamp follows the worker's state, which the panel's own text does not show.
    update(PanelRect(0));
}

void TModbus::DrawLamp(QPainter& painter, const QRect& rect) {
    const modbus::PanelRect panel{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1};
    const int index = bus_.LampImageIndex(static_cast<int>(images_.size()));
    if (index >= 0) {
        const QPixmap& image = images_[static_cast<size_t>(index)];
        const modbus::LampImagePos at =
            modbus::TModbus::LampImageIn(panel, image.width() / image.devicePixelRatio(),
                                         image.height() / image.devicePixelRatio());
        painter.drawPixmap(at.x, at.y, image);
        return;
    }
    const modbus::LampCircle circle = modbus::TModbus::LampCircleIn(panel);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ColourOf(bus_.LampColour()));
    painter.drawEllipse(
        QRect(QPoint(circle.left, circle.top), QPoint(circle.right - 1, circle.bottom - 1)));
}

void TModbus::contextMenuEvent(QContextMenuEvent* event) {
    menu_->exec(event->globalPos());
}

} // namespace vantrel::ui
