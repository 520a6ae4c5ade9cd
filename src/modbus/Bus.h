#pragma once

// The bus component (TModbus, the main window's Modbus1) as data: the one object through
// which the program reaches the Modbus master. It owns the worker and the port setup dialog,
// shows the bus state in four status panels with a coloured lamp, and hands out the slave
// address chosen in the dialog. The Qt face draws the panels and the lamp from what is here.

#include "host/PortList.h"
#include "host/Pump.h"
#include "modbus/ModThread.h"
#include "modbus/PortSetup.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vantrel::modbus {

// A status panel's rectangle, right and bottom exclusive as the toolkit reports them.
struct PanelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Where the lamp goes in panel 0.
struct LampCircle {
    int left = 0, top = 0, right = 0, bottom = 0; // bounding box of the filled circle
    bool operator==(const LampCircle&) const = default;
};
struct LampImagePos {
    int x = 0, y = 0;
    bool operator==(const LampImagePos&) const = default;
};

class TModbus final : public StatusListener {
public:
    enum class Lamp { Black, Green, Yellow, Red };

    // Creates the worker (port numbers resolved through the port list) and the dialog bound
    // to it. line replaces the serial line the worker would open (tests).
    TModbus(host::Pump& pump, host::GuiDispatch& dispatch, host::PortList& ports,
            std::unique_ptr<SerialLine> line = nullptr);
    // Hides and destroys the dialog, detaches from the worker, closes its port and ends it.
    ~TModbus() override;
    TModbus(const TModbus&) = delete;
    TModbus& operator=(const TModbus&) = delete;

    // Panel 0 the lamp (its text, the worker state, is not shown), 1 the tries of the last
    // request, 2 the worker state, 3 the last result.
    std::array<std::string, 4> panels;
    std::array<int, 4> panelWidths{};
    // Called after the panels changed, on the GUI thread, for the face to repaint.
    std::function<void()> changed;
    // ModbusSetupClick found the dialog visible: the face restores it if minimised and gives
    // it the focus. raiseRequested stays set until the face clears it.
    std::function<void()> raiseSetup;
    bool raiseRequested = false;

    TModThread* ModThread() const { return worker_.get(); }
    PortSetup* ModConfigForm() const { return setup_.get(); }

    // Properties.
    bool AutoPort() const { return autoPort_; }
    void SetAutoPort(bool v);
    bool MemoRemember() const { return memoRemember_; }
    void SetMemoRemember(bool v);
    bool ShowAddress() const { return showAddress_; }
    void SetShowAddress(bool v);
    TrafficMemo* Memo() const { return memo_; }
    void SetMemo(TrafficMemo* memo);
    uint8_t BusAddress() const { return GetBusAddress(); }
    void SetBusAddress(uint8_t address);

    // The dialog's slave address (1 to 255), asked before every transaction.
    uint8_t GetBusAddress() const;
    void ModbusSetupClick();
    // Refreshes the panels from the worker; the worker's status callback.
    void UpdateStatusBar();

    // The panel texts for a worker, or for none.
    static std::array<std::string, 4> PanelTexts(const TModThread* worker);

    // Black without a worker or with the port closed, yellow while sending or receiving,
    // else green after no transaction or a successful one and red after a failed one.
    Lamp LampColour() const;
    static Lamp LampColourFor(bool hasWorker, int state, int lastResult);
    // The image for the lamp in a list of imageCount images (black, green, yellow, red), or
    // -1: the list is too short, draw the circle.
    int LampImageIndex(int imageCount) const;
    static int LampImageIndex(Lamp lamp, int imageCount);
    static LampCircle LampCircleIn(const PanelRect& panel);
    static LampImagePos LampImageIn(const PanelRect& panel, int imageWidth, int imageHeight);

private:
    void AfterConstruction(host::PortList& ports, std::unique_ptr<SerialLine> line);

    host::Pump& pump_;
    host::GuiDispatch& dispatch_;
    std::unique_ptr<TModThread> worker_;
    std::unique_ptr<PortSetup> setup_;
    bool autoPort_ = false;
    bool memoRemember_ = false;
    bool showAddress_ = false;
    TrafficMemo* memo_ = nullptr;
    bool destroying_ = false;
};

} // namespace vantrel::modbus
