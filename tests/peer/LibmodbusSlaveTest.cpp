// Our master against an independent RTU slave built on libmodbus, over two joined
// pseudo-terminals.

#include "host/PlainHost.h"
#include "modbus/ModThread.h"
#include "tests/support/PtyBridge.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <thread>

using namespace vantrel;

namespace {

class LibmodbusSlave {
public:
    explicit LibmodbusSlave(const std::string& path) {
        ctx_ = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
        mapping_ = modbus_mapping_new_start_address(0, 0, 0, 0, 100, 200, 0, 0);
        for (int i = 0; i < 200; ++i)
            mapping_->tab_registers[i] = static_cast<uint16_t>(0x0100 + i);
        modbus_set_slave(ctx_, 7);
        ok_ = ctx_ && mapping_ && modbus_connect(ctx_) == 0;
        if (ok_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (mapping_)
            modbus_mapping_free(mapping_);
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
    }
    bool ok() const { return ok_; }
    uint16_t Register(int address) const { return mapping_->tab_registers[address - 100]; }

private:
    void Serve() {
        // A short indication time-out so that the thread notices the stop request.
        modbus_set_indication_timeout(ctx_, 0, 100000);
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            int n = modbus_receive(ctx_, query);
            if (n > 0)
                modbus_reply(ctx_, query, n, mapping_);
        }
    }

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::atomic<bool> stop_{false};
    bool ok_ = false;
    std::thread thread_;
};

} // namespace

TEST(PeerLibmodbusSlave, ReadsWritesAndExceptions) {
    test::PtyBridge bridge;
    ASSERT_TRUE(bridge.ok());
    LibmodbusSlave slave(bridge.PathB());
    ASSERT_TRUE(slave.ok());

    host::PlainHost host;
    modbus::TModThread worker(host, host);
    worker.SetPortResolver([&](int n) { return n == 1 ? bridge.PathA() : std::string(); });
    worker.SetFraming(modbus::kFramingRtu);
    worker.SetRtuTimeOut(20);
    ASSERT_TRUE(worker.OpenPort(1, 3, 0, 0, 0)) << worker.LastOpenError();

    // Registers 100.. hold 0x0100 + offset. Three bytes of 165-166: the pad drops.
    uint8_t value[6] = {};
    ASSERT_EQ(worker.ReadRegisters(value, 7, 165, 3), 0) << worker.ResultText();
    EXPECT_EQ(value[0], 0x42);
    EXPECT_EQ(value[1], 0x01);
    EXPECT_EQ(value[2], 0x41);

    const uint8_t write[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(worker.WriteRegisters(write, 7, 120, 6), 0) << worker.ResultText();
    EXPECT_EQ(slave.Register(120), 0x0605);
    EXPECT_EQ(slave.Register(122), 0x0201);
    ASSERT_EQ(worker.ReadRegisters(value, 7, 120, 6), 0);
    EXPECT_EQ(std::vector<uint8_t>(value, value + 6), std::vector<uint8_t>(write, write + 6));

    // An odd write pads in front: one register 00 vv.
    const uint8_t one[1] = {0x5A};
    ASSERT_EQ(worker.WriteRegisters(one, 7, 130, 1), 0);
    EXPECT_EQ(slave.Register(130), 0x005A);

    // Outside the slave's registers: exception 2, no retry.
    ASSERT_EQ(worker.ReadRegisters(value, 7, 50, 2), 2);
    EXPECT_EQ(worker.LastResult(), modbus::ReadingNotPossible);
    EXPECT_EQ(worker.LastExceptionCode(), 2);
    EXPECT_EQ(worker.AttemptsText(), "1");
    ASSERT_EQ(worker.WriteRegisters(write, 7, 400, 2), 2);
    EXPECT_EQ(worker.LastResult(), modbus::WritingNotPossible);

    // Nobody at address 9: every try times out.
    worker.SetResponseTimeOut(50);
    ASSERT_EQ(worker.ReadRegisters(value, 9, 100, 2), 2);
    EXPECT_EQ(worker.LastResult(), modbus::ResponseTimedOut);
    EXPECT_EQ(worker.AttemptsText(), "3");
    EXPECT_EQ(worker.LastExceptionCode(), 2); // kept from the exception before
}
