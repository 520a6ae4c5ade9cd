#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace vantrel::sim;

namespace {

Message Read(uint8_t address, uint16_t reg, uint16_t count) {
    return {address, 3, uint8_t(reg >> 8), uint8_t(reg), uint8_t(count >> 8), uint8_t(count)};
}

Message Write(uint8_t address, uint16_t reg, const std::vector<uint16_t>& values) {
    Message m{address,
              16,
              uint8_t(reg >> 8),
              uint8_t(reg),
              0,
              uint8_t(values.size()),
              uint8_t(2 * values.size())};
    for (uint16_t v : values) {
        m.push_back(uint8_t(v >> 8));
        m.push_back(uint8_t(v));
    }
    return m;
}

// Registers of a read response; empty when it is not one.
std::vector<uint16_t> Registers(const std::optional<Message>& r) {
    std::vector<uint16_t> regs;
    if (!r || r->size() < 3 || (*r)[1] != 3 || r->size() != 3u + (*r)[2])
        return regs;
    for (size_t i = 3; i + 1 < r->size(); i += 2)
        regs.push_back(uint16_t((*r)[i] << 8 | (*r)[i + 1]));
    return regs;
}

// The text of a 32-register log read, up to its zero padding.
std::string Text(const std::optional<Message>& r) {
    std::string text;
    if (!r || r->size() != 3 + 64)
        return "<not a 64-byte read>";
    for (size_t i = 3; i < r->size() && (*r)[i]; ++i)
        text += char((*r)[i]);
    return text;
}

int ExceptionCode(const std::optional<Message>& r) {
    return r && r->size() == 3 && ((*r)[1] & 0x80) ? (*r)[2] : 0;
}

std::string ReadText(SimUnit& unit, uint16_t reg) {
    return Text(unit.Handle(Read(1, reg, 32)));
}

} // namespace

TEST(SimUnit, IdentifiesEachModel) {
    struct Case {
        Model model;
        uint16_t code;
        char letter;
        bool logger;
    };
    const Case cases[] = {
        {Model::R210P, 210, 'P', false}, {Model::R210A, 210, 'A', false},
        {Model::R210U, 210, 'U', false}, {Model::R210PHX, 210, 'P', true},
        {Model::R212A, 212, 'A', false}, {Model::R212P, 212, 'P', false},
        {Model::Q4200, 2121, 'P', true}, {Model::N0456, 456, 'P', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ModelName(c.model));
        UnitOptions options;
        options.model = c.model;
        options.serial = 0xABCDEF;
        SimUnit unit(options);
        EXPECT_EQ(unit.HasLogger(), c.logger);

        const std::vector<uint16_t> serial{0x00AB, 0xCDEF};
        EXPECT_EQ(Registers(unit.Handle(Read(1, 165, 2))), serial);
        EXPECT_EQ(Registers(unit.Handle(Read(1, 2, 2))), serial);
        EXPECT_EQ(Registers(unit.Handle(Read(1, 160, 1))), std::vector<uint16_t>{c.code});
        EXPECT_EQ(Registers(unit.Handle(Read(1, 173, 1))),
                  std::vector<uint16_t>{uint8_t(c.letter)});
        EXPECT_EQ(Registers(unit.Handle(Read(1, 162, 2))), (std::vector<uint16_t>{0, 30105}));

        // Identification is read-only, and the logger probe succeeds only with a logger.
        EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 165, {0, 1}))), 2);
        EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 173, {'A'}))), 2);
        EXPECT_EQ(Registers(unit.Handle(Read(1, 8208, 2))).size(), c.logger ? 2u : 0u);
        EXPECT_EQ(ExceptionCode(unit.Handle(Read(1, 576, 1))), c.logger ? 0 : 2);
    }
    UnitOptions withoutLogger;
    withoutLogger.model = Model::R210PHX;
    withoutLogger.logger = false;
    EXPECT_TRUE(SimUnit(withoutLogger).HasLogger()) << "the HX variant always has its logger";
}

TEST(SimUnit, AnswersEachRequestOrStaysSilent) {
    struct Case {
        const char* what;
        Message request;
        std::optional<Message> answer;
    };
    const Case cases[] = {
        {"held registers", Read(1, 14, 1), Message{1, 3, 2, 0, 0}},
        {"absent register", Read(1, 1, 1), Message{1, 0x83, 2}},
        {"range running past the image", Read(1, 165, 3), Message{1, 0x83, 2}},
        {"write-only command read", Read(1, 25, 1), Message{1, 0x83, 2}},
        {"no registers", Read(1, 14, 0), Message{1, 0x83, 3}},
        {"128 registers", Read(1, 14, 128), Message{1, 0x83, 3}},
        {"other function", Message{1, 4, 0, 14, 0, 1}, Message{1, 0x84, 1}},
        {"runt read", Message{1, 3, 0, 14}, Message{1, 0x83, 3}},
        {"byte count off", Message{1, 16, 0, 14, 0, 1, 3, 0, 0, 0}, Message{1, 0x90, 3}},
        {"write absent", Write(1, 15, {0}), Message{1, 0x90, 2}},
        {"write read-only total", Write(1, 560, {0, 0, 0}), Message{1, 0x90, 2}},
        {"unknown command", Write(1, 25, {0x1234}), Message{1, 0x90, 3}},
        {"mode out of range", Write(1, 146, {3}), Message{1, 0x90, 3}},
        {"address out of range", Write(1, 145, {248}), Message{1, 0x90, 3}},
        {"write accepted", Write(1, 14, {250}), Message{1, 16, 0, 14, 0, 1}},
        {"another unit", Read(2, 14, 1), std::nullopt},
        {"broadcast read", Read(0, 14, 1), std::nullopt},
        {"broadcast write", Write(0, 56, {77}), std::nullopt},
        {"garbage", Message{1}, std::nullopt},
    };
    SimUnit unit;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(unit.Handle(c.request), c.answer);
    }
    EXPECT_EQ(unit.Register(14), 250);
    EXPECT_EQ(unit.Register(56), 77) << "a broadcast write is carried out";
    EXPECT_EQ(unit.Register(146), 1) << "a refused write changes nothing";

    const std::vector<WriteRecord> writes = unit.Writes();
    ASSERT_EQ(writes.size(), 8u);
    EXPECT_EQ(writes[6].reg, 14);
    EXPECT_EQ(writes[6].values, std::vector<uint16_t>{250});
    EXPECT_EQ(writes[6].exceptionCode, 0);
    EXPECT_EQ(writes[5].exceptionCode, 3);
    EXPECT_EQ(writes[7].address, 0);
}

TEST(SimUnit, OddByteValuesAreRightAligned) {
    SimUnit unit;
    // 3-byte K-factor 123456 = 0x01E240: the first register's high byte is the pad.
    EXPECT_EQ(unit.Handle(Read(1, 34, 2)), (Message{1, 3, 4, 0x00, 0x01, 0xE2, 0x40}));
    EXPECT_EQ(unit.Value(34, 3), 123456u);

    // A pad byte that is not zero is not kept.
    ASSERT_EQ(ExceptionCode(unit.Handle(Write(1, 34, {0xFF12, 0x3456}))), 0);
    EXPECT_EQ(unit.Handle(Read(1, 34, 2)), (Message{1, 3, 4, 0x00, 0x12, 0x34, 0x56}));
    ASSERT_EQ(ExceptionCode(unit.Handle(Write(1, 1051, {0x0102}))), 0);
    EXPECT_EQ(Registers(unit.Handle(Read(1, 1051, 1))), std::vector<uint16_t>{2});

    // Only the low 24 bits of the serial number exist.
    UnitOptions options;
    options.serial = 0x12345678;
    EXPECT_EQ(SimUnit(options).Value(165, 4), 0x345678u);
}

TEST(SimUnit, CommunicationSettingsChangeAfterTheAnswer) {
    struct Case {
        uint16_t reg;
        uint16_t value;
        CommSettings expected;
    };
    CommSettings base;
    auto with = [&](auto change) {
        CommSettings c = base;
        change(c);
        return c;
    };
    const Case cases[] = {
        {145, 7, with([](CommSettings& c) { c.address = 7; })},
        {146, 2, with([](CommSettings& c) { c.mode = kModeAscii; })},
        {144, 5, with([](CommSettings& c) { c.baudIndex = 5; })},
        {1272, 1, with([](CommSettings& c) { c.parity = 1; })},
        {1271, 1, with([](CommSettings& c) { c.dataBits = 7; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reg);
        SimUnit unit;
        EXPECT_EQ(unit.Handle(Write(1, c.reg, {c.value})),
                  (Message{1, 16, uint8_t(c.reg >> 8), uint8_t(c.reg), 0, 1}));
        EXPECT_EQ(unit.Comm(), base) << "the answer still goes out with the old settings";
        EXPECT_EQ(unit.StoredComm(), c.expected);
        unit.AnswerSent();
        EXPECT_EQ(unit.Comm(), c.expected);
    }

    // The next request already has to use the new address.
    SimUnit unit;
    ASSERT_TRUE(unit.Handle(Write(1, 145, {7})));
    EXPECT_EQ(unit.Handle(Read(1, 145, 1)), std::nullopt);
    EXPECT_EQ(Registers(unit.Handle(Read(7, 145, 1))), std::vector<uint16_t>{7});

    // Factory reset: answered first, then silent; line back to 9600 8N1 RTU, address kept.
    ASSERT_TRUE(unit.Handle(Write(7, 144, {6})));
    ASSERT_TRUE(unit.Handle(Write(7, 146, {2})));
    ASSERT_TRUE(unit.Handle(Write(7, 14, {99})));
    unit.AnswerSent();
    EXPECT_EQ(unit.Handle(Write(7, 25, {kCommandFactoryReset})), (Message{7, 16, 0, 25, 0, 1}));
    unit.AnswerSent();
    EXPECT_TRUE(unit.Rebooting());
    EXPECT_EQ(unit.Handle(Read(7, 14, 1)), std::nullopt);
    unit.EndReboot();
    EXPECT_EQ(unit.Comm(), with([](CommSettings& c) { c.address = 7; }));
    EXPECT_EQ(unit.Register(14), 0) << "configuration back to its default";
    EXPECT_EQ(unit.Counters().factoryResets, 1u);
}

TEST(SimUnit, LinearisationWindowShowsTheSelectedEntry) {
    SimUnit unit;
    auto window = [&] { return Registers(unit.Handle(Read(1, 1024, 3))); };
    // value = factor * 2^24 + frequency
    auto regs = [](uint32_t factor, uint32_t frequency) {
        const uint64_t v = uint64_t(factor) << 24 | frequency;
        return std::vector<uint16_t>{uint16_t(v >> 32), uint16_t(v >> 16), uint16_t(v)};
    };
    for (int entry = 0; entry < kLinearisationEntries; ++entry) {
        ASSERT_EQ(ExceptionCode(unit.Handle(Write(1, 13, {uint16_t(entry)}))), 0);
        EXPECT_EQ(window(),
                  regs(unit.LinearisationFactor(entry), unit.LinearisationFrequency(entry)));
    }
    ASSERT_TRUE(unit.Handle(Write(1, 13, {4})));
    ASSERT_EQ(ExceptionCode(unit.Handle(Write(1, 1024, regs(0xABCDEF, 0x123456)))), 0);
    EXPECT_EQ(unit.LinearisationFactor(4), 0xABCDEFu);
    EXPECT_EQ(unit.LinearisationFrequency(4), 0x123456u);
    ASSERT_TRUE(unit.Handle(Write(1, 13, {5})));
    EXPECT_NE(window(), regs(0xABCDEF, 0x123456));
    ASSERT_TRUE(unit.Handle(Write(1, 13, {4})));
    EXPECT_EQ(window(), regs(0xABCDEF, 0x123456));
    EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 13, {15}))), 3);
}

TEST(SimUnit, LogListsEndInNoRecordFound) {
    UnitOptions options;
    options.model = Model::Q4200;
    for (int records : {0, 3, 1000}) {
        SCOPED_TRACE(records);
        SimUnit unit(options);
        ASSERT_TRUE(unit.SetLogRecordCount(1, records));
        EXPECT_EQ(Registers(unit.Handle(Read(1, 8192, 1))), std::vector<uint16_t>{3});
        ASSERT_EQ(ExceptionCode(unit.Handle(Write(1, 8193, {1}))), 0);
        EXPECT_EQ(Registers(unit.Handle(Read(1, 8194, 1))),
                  std::vector<uint16_t>{uint16_t(records)});
        EXPECT_EQ(ReadText(unit, 8198), "EVENT LIST");
        EXPECT_EQ(ReadText(unit, 8208), "DATE;TIME;EVENT");

        const std::vector<std::string> expected = unit.GetLogList(1).records;
        ASSERT_EQ(expected.size(), size_t(records));
        std::vector<std::string> seen;
        for (std::string text = ReadText(unit, 8220); text != kNoRecordText;
             text = ReadText(unit, 8221)) {
            seen.push_back(text);
            EXPECT_EQ(ReadText(unit, 8214), text) << "the current record again";
            EXPECT_EQ(unit.Register(8196), seen.size()) << "record number";
            if (seen.size() > expected.size())
                break;
        }
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(ReadText(unit, 8221), kNoRecordText) << "stays past the end";
        EXPECT_EQ(ReadText(unit, 8214), kNoRecordText);
    }

    SimUnit unit(options);
    EXPECT_EQ(ReadText(unit, 8198), "RUNTIME LIST");
    EXPECT_EQ(ReadText(unit, 8220), "2026-12-10;11:00:00;0000123.4;00045678");
    EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 8193, {3}))), 3) << "only three lists";
    EXPECT_EQ(ExceptionCode(unit.Handle(Read(1, 8220, 33))), 3);
    EXPECT_EQ(Registers(unit.Handle(Read(1, 8222, 2))), (std::vector<uint16_t>{0, 0}))
        << "the rest of the window holds plain registers";
}

TEST(SimUnit, ClearingTheResettableTotalLeavesTheAccumulatedOne) {
    SimUnit unit;
    unit.UseManualClock(true);
    unit.SetFlowProfile(36000, 0, 0); // 3600.0 per hour: 1.0 per second, 10 raw
    unit.SetTotals(5000000, 7000);
    unit.AdvanceClock(std::chrono::seconds(60));
    EXPECT_EQ(Registers(unit.Handle(Read(1, 572, 2))), (std::vector<uint16_t>{0, 36000}));
    EXPECT_EQ(unit.Value(560, 6), 5000600u);
    EXPECT_EQ(unit.Value(566, 6), 7600u);

    EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 566, {0, 0, 1}))), 3) << "clearing only";
    EXPECT_EQ(ExceptionCode(unit.Handle(Write(1, 566, {0, 0, 0}))), 0);
    EXPECT_EQ(Registers(unit.Handle(Read(1, 566, 3))), (std::vector<uint16_t>{0, 0, 0}));
    EXPECT_EQ(unit.Value(560, 6), 5000600u);
    unit.AdvanceClock(std::chrono::seconds(30));
    EXPECT_EQ(unit.ResettableTotal(), 300u);
    EXPECT_EQ(unit.AccumulatedTotal(), 5000900u);

    // The default profile moves: the rate stays within its band and the totals grow.
    SimUnit moving;
    moving.UseManualClock(true);
    const uint64_t before = moving.AccumulatedTotal();
    for (int s = 0; s < 60; s += 7) {
        moving.AdvanceClock(std::chrono::seconds(7));
        EXPECT_GE(moving.FlowRate(), 113456u);
        EXPECT_LE(moving.FlowRate(), 133456u);
    }
    EXPECT_GT(moving.AccumulatedTotal(), before + 1900);
}

// A unit that says it took a write and keeps its old value: only the value at that register.
TEST(SimUnitIgnoredWrites, AcknowledgedAndNotCarriedOut) {
    SimUnit unit;
    ASSERT_TRUE(unit.SetValue(170, 3, 42));
    unit.IgnoreWrites(170);
    const Message tag = {1, 16, 0, 170, 0, 2, 4, 0, 0, 0x12, 0x67};
    const auto answer = unit.Handle(tag);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ((*answer)[1], 16) << "acknowledged, not refused";
    EXPECT_EQ(unit.Value(170, 3), 42u);
    const Message keylock = {1, 16, 0, 139, 0, 1, 2, 0, 1};
    ASSERT_TRUE(unit.Handle(keylock).has_value());
    EXPECT_EQ(unit.Value(139, 1), 1u) << "other registers take their writes";
    unit.IgnoreWrites(std::nullopt);
    ASSERT_TRUE(unit.Handle(tag).has_value());
    EXPECT_EQ(unit.Value(170, 3), 0x1267u);
}
