// An independent master (libmodbus) against our simulated unit.

#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>

using namespace vantrel;

TEST(PeerLibmodbusMaster, ReadsWritesAndExceptionsFromTheSimulatedUnit) {
    sim::UnitOptions options;
    options.model = sim::Model::Q4200;
    options.serial = 7654321;
    sim::SimUnit unit(options);
    sim::SimLink link(unit);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;

    modbus_t* ctx = modbus_new_rtu(link.SlavePath().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 0, 500000);
    ASSERT_EQ(modbus_connect(ctx), 0);

    uint16_t regs[4] = {};
    ASSERT_EQ(modbus_read_registers(ctx, 165, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_EQ((regs[0] << 16 | regs[1]) & 0xFFFFFF, 7654321);
    ASSERT_EQ(modbus_read_registers(ctx, 160, 1, regs), 1);
    EXPECT_EQ(regs[0], 2121);
    ASSERT_EQ(modbus_read_registers(ctx, 173, 1, regs), 1);
    EXPECT_EQ(regs[0] & 0xFF, 'P');

    const uint16_t tag[2] = {0x0001, 0xE240};
    ASSERT_EQ(modbus_write_registers(ctx, 170, 2, tag), 2) << modbus_strerror(errno);
    EXPECT_EQ(unit.Value(170, 3), 123456u);
    ASSERT_EQ(modbus_read_registers(ctx, 170, 2, regs), 2);
    EXPECT_EQ(regs[1], 0xE240);

    // Registers the unit does not hold, and a function it does not know.
    EXPECT_EQ(modbus_read_registers(ctx, 9000, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    uint8_t bits[8];
    EXPECT_EQ(modbus_read_bits(ctx, 0, 1, bits), -1);
    EXPECT_EQ(errno, EMBXILFUN);

    modbus_close(ctx);
    modbus_free(ctx);
}
