#include "modbus/LineSettings.h"
#include "modbus/ModbusCodec.h"
#include "modbus/PosixSerialLine.h"
#include "modbus/SerialSpeed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <unistd.h>

using namespace vantrel::modbus;

TEST(LineSettings, ModeStrings) {
    EXPECT_EQ(BuildModeString({}), "9600,N,8,1");
    EXPECT_EQ(BuildModeString({8, 1, 2, 1}), "115200,O,7,2");
    EXPECT_EQ(BuildModeString({0, 0, 1, 0}), "1200,E,8,1");
    LineMode mode;
    ASSERT_TRUE(ParseModeString("14400,E,7,2", mode));
    EXPECT_EQ(mode.baud, 14400);
    EXPECT_EQ(mode.parity, 'E');
    EXPECT_EQ(mode.dataBits, 7);
    EXPECT_EQ(mode.stopBits, 2);
    for (const char* bad : {"", "9600", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8,1,"})
        EXPECT_FALSE(ParseModeString(bad, mode)) << bad;
}

TEST(LineSettings, SpeedIndexOfActualRates) {
    const std::pair<int, int> cases[] = {{300, 0},   {1200, 0},  {2399, 0},   {2400, 1},
                                         {9600, 3},  {14399, 3}, {14400, 4},  {19200, 5},
                                         {38400, 6}, {57600, 7}, {115200, 8}, {230400, 8}};
    for (auto [baud, index] : cases)
        EXPECT_EQ(SpeedIndexOfBaud(baud), index) << baud;
}

TEST(LineSettings, CharacterTimingTables) {
    struct Case {
        const char* mode;
        int postSend, gap;
    } cases[] = {
        {"9600,N,8,1", 2, 5},   {"9600,N,7,1", 2, 4},   {"1200,N,7,1", 9, 29},
        {"1200,E,8,2", 11, 37}, {"2400,E,8,1", 6, 18},  {"4800,O,8,2", 4, 10},
        {"19200,N,8,1", 2, 3},  {"115200,N,8,1", 2, 2}, {"14400,N,8,1", 2, 4},
    };
    for (const Case& c : cases) {
        LineMode mode;
        ASSERT_TRUE(ParseModeString(c.mode, mode));
        CharacterTiming timing = LookupCharacterTiming(mode);
        EXPECT_EQ(timing.postSendDelay, c.postSend) << c.mode;
        EXPECT_EQ(timing.characterGap, c.gap) << c.mode;
    }
}

TEST(LineSettings, InterCharacterTimeouts) {
    LineMode mode;
    ParseModeString("9600,N,8,1", mode);
    const CharacterTiming t9600 = LookupCharacterTiming(mode);
    ParseModeString("9600,N,7,1", mode);
    const CharacterTiming t9600x7 = LookupCharacterTiming(mode);
    ParseModeString("19200,N,8,1", mode);
    const CharacterTiming t19200 = LookupCharacterTiming(mode);

    EXPECT_EQ(InterCharacterTimeout(0, kFramingRtu, t9600, false), 5);
    EXPECT_EQ(InterCharacterTimeout(0, kFramingRtu, t9600x7, false), 4);
    EXPECT_EQ(InterCharacterTimeout(0, kFramingAscii, t9600, false), 50);
    EXPECT_EQ(InterCharacterTimeout(20, kFramingRtu, t9600, false), 20);
    EXPECT_EQ(InterCharacterTimeout(20, kFramingAscii, t9600, false), 20);
    EXPECT_EQ(InterCharacterTimeout(0, kFramingRtu, t19200, true), 16);
    EXPECT_EQ(InterCharacterTimeout(0, kFramingRtu, t19200, false), 3);
}

TEST(LineSettings, LineTime) {
    LineMode mode; // 9600 8N1: ten bits a character
    EXPECT_EQ(LineTimeMicros(mode, 96), 100000);
    ParseModeString("19200,E,7,1", mode);
    EXPECT_EQ(BitsPerCharacter(mode), 10);
}

// Every speed sets both directions, also a standard one after 14400 (which has no code of its
// own and is set by number): a line left receiving at another rate reads only garbage.
TEST(LineSettings, EverySpeedSetsInputAndOutput) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    PosixSerialLine line;
    std::string error;
    ASSERT_TRUE(line.Open(::ptsname(master), error)) << error;
    // The master reports the terminal's settings.
    for (int baud : {14400, 9600, 14400, 115200, 1200, 14400, 19200}) {
        SCOPED_TRACE(baud);
        LineMode mode;
        mode.baud = baud;
        ASSERT_TRUE(line.Configure(mode, error)) << error;
        EXPECT_EQ(GetLineSpeed(master), baud);
        EXPECT_EQ(GetLineInputSpeed(master), baud);
    }
    line.Close();
    ::close(master);
}

// "No permission" suggests joining the device's group only when the user is not in it.
TEST(LineSettings, PermissionAdviceNamesTheGroupTheUserLacks) {
    const std::string dir = testing::TempDir() + "/perm-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string own = dir + "/own", other = dir + "/other";
    std::ofstream(own) << "";
    std::ofstream(other) << "";
    ASSERT_EQ(::chown(own.c_str(), static_cast<uid_t>(-1), ::getegid()), 0);
    const gid_t lacking = 65534; // nogroup, which no test user is in
    if (::chown(other.c_str(), static_cast<uid_t>(-1), lacking) != 0)
        GTEST_SKIP() << "cannot give a file a group this user lacks";
    const struct group* entry = ::getgrgid(lacking);
    const std::string name = entry ? entry->gr_name : std::to_string(lacking);
    EXPECT_EQ(DescribeOpenError(other, EACCES),
              "No permission to open " + other + ". Add your user to the '" + name +
                  "' group (sudo usermod -aG " + name + " $USER), then log out and in again.");
    EXPECT_EQ(DescribeOpenError(own, EACCES), "No permission to open " + own + ".");
    std::filesystem::remove_all(dir);
}
