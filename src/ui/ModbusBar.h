#pragma once

// The bus component's face (Modbus1): four panels along the bottom of the main window — the
// lamp, the tries of the last request, the worker's state and the last result — and a context
// menu that opens the port setup dialog. Everything shown comes from modbus::TModbus.

#include "ui/PanelBar.h"

#include <QPixmap>

#include <vector>

class QMenu;

namespace vantrel::modbus {
class TModbus;
}
namespace vantrel::host {
class Prompts;
}

namespace vantrel::ui {

class TModConfigForm;
class TBusMonitor;

// The lamp images in the order the bus component counts them: black, green, yellow, red.
std::vector<QPixmap> LampImages();

class TModbus final : public PanelBar {
    Q_OBJECT
public:
    TModbus(modbus::TModbus& bus, QWidget* parent);
    ~TModbus() override;

    modbus::TModbus& Bus() const { return bus_; }
    TModConfigForm* ModConfigForm() const { return dialog_; }
    QMenu* ContextMenu() const { return menu_; }
    // The bus monitor window, made when first asked for; it asks where to save through
    // prompts.
    TBusMonitor* BusMonitor();
    void ShowBusMonitor();
    void SetPrompts(host::Prompts* prompts) { prompts_ = prompts; }

    // The image list; a shorter one leaves the missing colours to the drawn circle.
    void SetImages(std::vector<QPixmap> images);
    const std::vector<QPixmap>& Images() const { return images_; }

    // The panels as the bus component holds them now.
    void Refresh();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void DrawLamp(QPainter& painter, const QRect& rect);

    modbus::TModbus& bus_;
    std::vector<QPixmap> images_;
    QMenu* menu_;
    TModConfigForm* dialog_;
    TBusMonitor* monitor_ = nullptr;
    host::Prompts* prompts_ = nullptr;
};

} // namespace vantrel::ui
