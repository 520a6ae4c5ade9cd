#include "modbus/Bus.h"

#include "modbus/ModbusResult.h"

namespace vantrel::modbus {

namespace {

// The bar as the main window's form describes it.
const std::array<std::string, 4> kFormPanels = {"StatusLed", "1", "Quenlo Idle",
                                                "Last Result: none"};
constexpr std::array<int, 4> kFormWidths = {19, 40, 200, 50};
const std::array<std::string, 4> kNoWorkerPanels = {"0", "0", "Quenlo Not Avaliable",
                                                    "Last Result: None"};

} // namespace

TModbus::TModbus(host::Pump& pump, host::GuiDispatch& dispatch, host::PortList& ports,
                 std::unique_ptr<SerialLine> line)
    : pump_(pump), dispatch_(dispatch) {
    AfterConstruction(ports, std::move(line));
    // The main window's form description is applied after construction: its panels replace
    // the ones shown so far, until the worker's next state change rewrites them.
    panels = kFormPanels;
    panelWidths = kFormWidths;
}

void TModbus::AfterConstruction(host::PortList& ports, std::unique_ptr<SerialLine> line) {
    worker_ = std::make_unique<TModThread>(pump_, dispatch_, std::move(line));
    worker_->SetPortResolver([&ports](int number) { return ports.PathOf(number); });
    worker_->SetPortLister([&ports] {
        std::vector<int> numbers;
        for (const host::PortEntry& entry : ports.Ports(false))
            numbers.push_back(entry.number);
        return numbers;
    });
    if (autoPort_)
        worker_->AutoOpen();
    setup_ = std::make_unique<PortSetup>(ports, worker_.get());
    setup_->ShowSlaveAddress(showAddress_);
    worker_->AttachBus(this);
    // The worker hands this over to the GUI thread and waits for it there.
    worker_->SetStatusCallback([this] { UpdateStatusBar(); });
    worker_->SetMemo(memo_);
    worker_->SetMemoRemember(memoRemember_);
    UpdateStatusBar();
}

TModbus::~TModbus() {
    destroying_ = true;
    if (setup_) {
        setup_->changed = nullptr;
        if (setup_->visible)
            setup_->CloseButtonClick();
        setup_.reset();
    }
    if (worker_) {
        worker_->AttachBus(nullptr);
        worker_->ClosePort();
        worker_.reset();
    }
}

void TModbus::SetAutoPort(bool v) {
    autoPort_ = v;
    if (v && worker_) {
        worker_->AutoOpen();
        if (setup_)
            setup_->RefreshFromWorker();
    }
}

void TModbus::SetMemoRemember(bool v) {
    memoRemember_ = v;
    if (worker_)
        worker_->SetMemoRemember(v);
}

void TModbus::SetShowAddress(bool v) {
    showAddress_ = v;
    if (setup_)
        setup_->ShowSlaveAddress(v);
}

void TModbus::SetMemo(TrafficMemo* memo) {
    memo_ = memo;
    if (worker_)
        worker_->SetMemo(memo);
}

uint8_t TModbus::GetBusAddress() const {
    return setup_ ? static_cast<uint8_t>(setup_->GetSlaveAddress()) : 1;
}

void TModbus::SetBusAddress(uint8_t address) {
    if (address != 0 && setup_)
        setup_->SetSlaveAddress(address);
}

void TModbus::ModbusSetupClick() {
    if (!setup_)
        return;
    if (!setup_->visible) {
        setup_->FormShow();
        return;
    }
    raiseRequested = true;
    if (raiseSetup)
        raiseSetup();
}

std::array<std::string, 4> TModbus::PanelTexts(const TModThread* worker) {
    if (!worker)
        return kNoWorkerPanels;
    return {std::to_string(worker->State()), worker->AttemptsText(), worker->StateText(),
            worker->ResultText()};
}

void TModbus::UpdateStatusBar() {
    if (destroying_)
        return;
    panels = PanelTexts(worker_.get());
    if (changed)
        changed();
}

TModbus::Lamp TModbus::LampColourFor(bool hasWorker, int state, int lastResult) {
    if (!hasWorker || state == PortClosed)
        return Lamp::Black;
    if (state == Sending || state == Receiving)
        return Lamp::Yellow;
    return lastResult == None || lastResult == Success ? Lamp::Green : Lamp::Red;
}

TModbus::Lamp TModbus::LampColour() const {
    if (!worker_)
        return LampColourFor(false, PortClosed, None);
    return LampColourFor(true, worker_->State(), worker_->LastResult());
}

int TModbus::LampImageIndex(Lamp lamp, int imageCount) {
    const int index = static_cast<int>(lamp);
    return imageCount >= index + 1 ? index : -1;
}

int TModbus::LampImageIndex(int imageCount) const {
    return LampImageIndex(LampColour(), imageCount);
}

LampCircle TModbus::LampCircleIn(const PanelRect& panel) {
    const int cx = (panel.left + panel.right) / 2;
    const int cy = (panel.top + panel.bottom) / 2;
    return {cx - 4, cy - 6, cx + 8, cy + 6};
}

LampImagePos TModbus::LampImageIn(const PanelRect& panel, int imageWidth, int imageHeight) {
    return {panel.left + (panel.right - panel.left - imageWidth) / 2,
            panel.top + (panel.bottom - panel.top - imageHeight) / 2};
}

} // namespace vantrel::modbus
