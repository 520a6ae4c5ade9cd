#include "cli/CliOptions.h"
#include "cli/ValueText.h"

#include <gtest/gtest.h>

using namespace vantrel;

TEST(CliValues, DecimalAndHexOfBytes) {
    EXPECT_EQ(cli::DecimalOfBytes({}), "0");
    EXPECT_EQ(cli::DecimalOfBytes({0x87, 0xD6, 0x12}), "1234567");
    EXPECT_EQ(cli::HexOfBytes({0x87, 0xD6, 0x12}), "12 D6 87");
    EXPECT_EQ(cli::DecimalOfBytes(std::vector<uint8_t>(8, 0xFF)), "18446744073709551615");
    EXPECT_EQ(cli::DecimalOfBytes({0, 0, 0, 0, 0, 0, 0, 0, 1}), "18446744073709551616");
}

TEST(CliValues, BytesOfNumbers) {
    using B = std::vector<uint8_t>;
    EXPECT_EQ(cli::BytesOfNumber("123456", 3), (B{0x40, 0xE2, 0x01}));
    EXPECT_EQ(cli::BytesOfNumber("0xA50F", 2), (B{0x0F, 0xA5}));
    EXPECT_EQ(cli::BytesOfNumber("-5", 2), (B{0xFB, 0xFF}));
    EXPECT_EQ(cli::BytesOfNumber("-32768", 2), (B{0x00, 0x80}));
    EXPECT_EQ(cli::BytesOfNumber("65535", 2), (B{0xFF, 0xFF}));
    for (const char* bad : {"65536", "-32769", "", "-", "12a", "0x", "1.5"})
        EXPECT_FALSE(cli::BytesOfNumber(bad, 2)) << bad;
}

TEST(CliOptions, ParsesOptionsVerbAndArguments) {
    cli::CliOptions o;
    std::string error;
    ASSERT_TRUE(cli::ParseCommandLine({"--port", "/dev/pts/3", "--ascii", "--baud", "19200",
                                       "--parity", "even", "--data-bits", "7", "--slave", "5",
                                       "raw-write", "25", "2", "-5"},
                                      o, error))
        << error;
    EXPECT_EQ(o.port, "/dev/pts/3");
    EXPECT_EQ(o.framing, modbus::kFramingAscii);
    EXPECT_EQ(o.speed, 5);
    EXPECT_EQ(o.parity, 1);
    EXPECT_EQ(o.dataBits, 1);
    EXPECT_EQ(o.slave, 5);
    EXPECT_EQ(o.verb, "raw-write");
    EXPECT_EQ(o.args, (std::vector<std::string>{"25", "2", "-5"}));

    IniFile settings = IniFile::FromText("[Modbus]\nSpeed=2400\nRetries=5\n");
    modbus::BusSettings s = cli::EffectiveSettings(o, settings);
    EXPECT_EQ(s.speed, 5); // the option wins over the file
    EXPECT_EQ(s.retries, 5);
    EXPECT_EQ(s.rtuTimeOut, 20);
}

TEST(CliOptions, RefusesWrongCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--baud", "300", "raw-read", "1", "1"},
        {"--parity", "mark", "ports"},
        {"--slave", "0", "ports"},
        {"--slave", "256", "ports"},
        {"--tries", "11", "ports"},
        {"--timeout", "0", "ports"},
        {"--rtu-timeout", "10000", "ports"},
        {"--frobnicate", "ports"},
        {"--port"},
    };
    for (const auto& args : bad) {
        cli::CliOptions o;
        std::string error;
        EXPECT_FALSE(cli::ParseCommandLine(args, o, error)) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(error.empty());
    }
}
