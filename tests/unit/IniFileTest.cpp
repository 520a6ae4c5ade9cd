#include "common/IniFile.h"
#include "common/FileUtil.h"
#include "modbus/BusSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vantrel;

namespace {

std::string TempDir() {
    std::string dir = testing::TempDir() + "/ini-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace

TEST(IniFile, ReadsWithoutRegardToCaseAndBlanks) {
    IniFile ini = IniFile::FromText("stray=line\r\n"
                                    "[ Modbus ]\r\n"
                                    "  speed  =  2400  \r\n"
                                    "; a comment\n"
                                    "Parity=even\n"
                                    "[other]\n"
                                    "Speed=1\n");
    EXPECT_EQ(ini.ReadString("MODBUS", "SPEED", "x"), "2400");
    EXPECT_EQ(ini.ReadString("modbus", "parity", "x"), "even");
    EXPECT_EQ(ini.ReadString("Other", "Speed", "x"), "1");
    EXPECT_EQ(ini.ReadString("Modbus", "stray", "none"), "none");
    EXPECT_FALSE(ini.Get("Missing", "Speed"));
    EXPECT_EQ(ini.Keys("modbus"), (std::vector<std::string>{"speed", "Parity"}));
}

TEST(IniFile, WritingAKeyKeepsEveryOtherLine) {
    const std::string text = "; header\r\n[A]\r\nx=1\r\n; note\r\ny=2\r\n[B]\r\nz=3\r\n";
    IniFile ini = IniFile::FromText(text);
    ini.WriteString("a", "X", "10");
    ini.WriteString("A", "w", "4");
    ini.WriteString("C", "k", "v");
    EXPECT_EQ(ini.Text(),
              "; header\r\n[A]\r\nx=10\r\n; note\r\ny=2\r\nw=4\r\n[B]\r\nz=3\r\n[C]\r\nk=v\r\n");
}

// A key given twice reads as its first line, as the platform's INI reading does, so a line
// added further down by hand does not silently win; a section given twice is one section,
// so ports added to a second [Ports] at the end of a settings file still count.
TEST(IniFile, RepeatedKeysAndSectionsQuotesLineEndsAndMarks) {
    IniFile ini = IniFile::FromText("\xEF\xBB\xBF[A]\rk=1\rk=2\r[B]\r\nm=x\n[a]\nk=3\nl=\"4 \"\n"
                                    "q='single'\nh=\"half\nlit=a\"b\"\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "l", ""), "4 ");
    EXPECT_EQ(ini.ReadString("A", "q", ""), "single");
    EXPECT_EQ(ini.ReadString("A", "h", ""), "\"half");
    EXPECT_EQ(ini.ReadString("A", "lit", ""), "a\"b\"");
    EXPECT_EQ(ini.ReadString("B", "m", ""), "x");
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"A", "B"}));
    ini.WriteString("A", "k", "9");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "9");
    EXPECT_EQ(ini.Text().substr(0, 20), "[A]\r\nk=9\r\nk=2\r\n[B]\r\n");
}

TEST(IniFile, BinaryGarbageAndHugeLinesLoadSafely) {
    std::string garbage(100000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) & 0xFF);
    garbage += "\n[S]\nk=" + std::string(1 << 20, 'v') + "\n[";
    IniFile ini = IniFile::FromText(garbage);
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), size_t(1) << 20);
}

TEST(IniFile, LoadAndSaveFiles) {
    const std::string dir = TempDir();
    IniFile ini;
    EXPECT_TRUE(ini.Load(dir + "/absent.ini")); // a missing file is an empty one
    EXPECT_FALSE(ini.Load(dir));                // a folder is not
    ini.WriteString("Modbus", "Port", "COM3");
    ASSERT_TRUE(ini.Save(dir + "/settings.ini"));
    IniFile back;
    ASSERT_TRUE(back.Load(dir + "/settings.ini"));
    EXPECT_EQ(back.ReadString("modbus", "port", ""), "COM3");
}

// Two instances of the tool saving one settings file at once: a reader never meets a file
// half-written, and each instance's own keys survive the other's saves.
TEST(IniFile, TwoInstancesSavingAtOnceLeaveAWholeFile) {
    const std::string path = TempDir() + "/shared.ini";
    std::remove(path.c_str());
    constexpr int kSaves = 30;
    constexpr size_t kLength = 20000; // larger than one write is sure to be
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            IniFile seen;
            if (!seen.Load(path))
                continue;
            for (const char* section : {"First", "Second"}) {
                const std::string value = seen.ReadString(section, "Value", "");
                if (!value.empty() && (value.size() != kLength ||
                                       value.find_first_not_of(value[0]) != std::string::npos))
                    ++torn;
            }
        }
    });
    const auto instance = [&](const char* section, char first) {
        IniFile own;
        for (int i = 0; i < kSaves; ++i) {
            own.WriteString(section, "Value",
                            std::string(kLength, static_cast<char>(first + i % 20)));
            EXPECT_TRUE(own.SaveOwnKeys(path));
        }
    };
    std::thread a(instance, "First", 'a');
    std::thread b(instance, "Second", 'A');
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    IniFile last;
    ASSERT_TRUE(last.Load(path));
    EXPECT_EQ(last.ReadString("First", "Value", ""), std::string(kLength, 'a' + (kSaves - 1) % 20));
    EXPECT_EQ(last.ReadString("Second", "Value", ""),
              std::string(kLength, 'A' + (kSaves - 1) % 20));
}

TEST(FileUtil, AFailedSaveLeavesTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string dir = TempDir() + "/locked";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/file.ini";
    ASSERT_TRUE(WriteFileAtomically(path, "old contents", nullptr));
    ::chmod(dir.c_str(), 0555);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, "new contents", &error));
    EXPECT_FALSE(error.empty());
    ::chmod(dir.c_str(), 0755);
    std::string text;
    ASSERT_TRUE(ReadFileText(path, text, nullptr));
    EXPECT_EQ(text, "old contents");
}

TEST(FileUtil, AFailedReplaceLeavesNoTemporaryFile) {
    // A folder in the way: the new file is written, but cannot replace it.
    const std::string dir = TempDir() + "/inway";
    std::filesystem::create_directories(dir + "/target/inside");
    EXPECT_FALSE(WriteFileAtomically(dir + "/target", "new", nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/target/inside"));
    size_t files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_FALSE(WriteFileAtomically(dir + "/no/such/folder/file", "new", nullptr));
}

// What a plain save keeps, the atomic save keeps too; what it refuses, it refuses with the
// path and the reason, and the old file stays whole.
TEST(FileUtil, ASaveKeepsLinksModesOwnersAndRefusesReadOnlyFiles) {
    const std::string dir = TempDir() + "/keeps";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/sub");
    auto read = [](const std::string& path) {
        std::string text;
        EXPECT_TRUE(ReadFileText(path, text, nullptr)) << path;
        return text;
    };
    std::string error;

    // A link, relative and in a chain, stays a link; its target gets the contents and keeps
    // its mode.
    const std::string target = dir + "/sub/target.cvc";
    ASSERT_TRUE(WriteFileAtomically(target, "old", nullptr));
    ::chmod(target.c_str(), 0640);
    std::filesystem::create_symlink("sub/target.cvc", dir + "/link.cvc");
    std::filesystem::create_symlink("link.cvc", dir + "/link2.cvc");
    ASSERT_TRUE(WriteFileAtomically(dir + "/link2.cvc", "new", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link2.cvc"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.cvc"));
    EXPECT_EQ(read(target), "new");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // A dangling link: its target is made, as a plain save would.
    std::filesystem::create_symlink("sub/made.cvc", dir + "/dangling.cvc");
    ASSERT_TRUE(WriteFileAtomically(dir + "/dangling.cvc", "made", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/dangling.cvc"));
    EXPECT_EQ(read(dir + "/sub/made.cvc"), "made");

    // A file of two names stays one file: both names see the new contents, longer and
    // shorter than the old.
    const std::string other = dir + "/sub/other-name.cvc";
    std::filesystem::create_hard_link(target, other);
    for (const std::string contents : {"a longer text than before", "short"}) {
        ASSERT_TRUE(WriteFileAtomically(dir + "/link.cvc", contents, &error)) << error;
        EXPECT_EQ(read(other), contents);
        EXPECT_EQ(std::filesystem::hard_link_count(target), 2u);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/sub"),
                            std::filesystem::directory_iterator{}),
              3); // target, other name, the dangling link's file: no temporary file left
    std::filesystem::remove(other);

    // Owner and group stay where the process may set them.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
        ASSERT_TRUE(WriteFileAtomically(target, "owned", &error)) << error;
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
    }

    // A read-only file is refused, also through a link, and keeps its contents.
    const std::string readOnly = dir + "/readonly.cvc";
    ASSERT_TRUE(WriteFileAtomically(readOnly, "keep", nullptr));
    ::chmod(readOnly.c_str(), 0444);
    std::filesystem::create_symlink("readonly.cvc", dir + "/to-readonly.cvc");
    for (const std::string& path : {readOnly, dir + "/to-readonly.cvc"}) {
        EXPECT_FALSE(WriteFileAtomically(path, "lost", &error));
        EXPECT_EQ(error, path + ": the file is read-only");
    }
    EXPECT_EQ(read(readOnly), "keep");

    // A folder is no file to save into.
    EXPECT_FALSE(WriteFileAtomically(dir + "/sub", "x", &error));
    EXPECT_EQ(error, dir + "/sub: is a folder");

    // A writable file in a folder where no temporary file can be made: the folder is named.
    const std::string shut = dir + "/shut";
    std::filesystem::create_directories(shut);
    const std::string inShut = shut + "/file.cvc";
    ASSERT_TRUE(WriteFileAtomically(inShut, "kept", nullptr));
    ::chmod(inShut.c_str(), 0666);
    ::chmod(shut.c_str(), 0555);
    const bool switchUser = ::geteuid() == 0; // root writes into any folder
    if (switchUser) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const bool saved = WriteFileAtomically(inShut, "lost", &error);
    if (switchUser) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ::chmod(shut.c_str(), 0755);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error,
              "cannot create a temporary file in the folder " + shut + ": permission denied");
    EXPECT_EQ(read(inShut), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shut),
                            std::filesystem::directory_iterator{}),
              1);
}

struct BusCase {
    const char* name;
    const char* text;
    modbus::BusSettings expected;
};

TEST(BusSettings, ReadsTheModbusSection) {
    modbus::BusSettings start; // what the port setup holds before loading
    start.port = 4;
    start.rtuTimeOut = 20;
    auto with = [&](auto change) {
        modbus::BusSettings s = start;
        change(s);
        return s;
    };
    const BusCase cases[] = {
        {"missing keys keep the current values", "[Modbus]\n", start},
        {"case is ignored", "[Modbus]\nSpeed=2400\nParity=even\nprotocol=rtu\n", with([](auto& s) {
             s.speed = 1;
             s.parity = 1;
         })},
        {"unknown speed gives 9600", "[Modbus]\nSpeed=300\n", with([](auto& s) { s.speed = 3; })},
        {"unknown texts give the first choice", "[Modbus]\nDatabits=9 bits\nStopbits=x\n",
         with([](auto& s) {
             s.dataBits = 0;
             s.stopBits = 0;
         })},
        {"ascii", "[Modbus]\nProtocol=Ascii\nDatabits=7 BITS\nStopbits=2 bits\n", with([](auto& s) {
             s.framing = modbus::kFramingAscii;
             s.dataBits = 1;
             s.stopBits = 1;
         })},
        {"port name", "[Modbus]\nPort=com12\n", with([](auto& s) { s.port = 12; })},
        {"port number alone", "[Modbus]\nPort=12\n", with([](auto& s) { s.port = 0; })},
        {"tries out of range", "[Modbus]\nRetries=0\nTimeOut=10000\n", start},
        {"tries eleven", "[Modbus]\nRetries=11\nRTUTimeOut=-1\n", start},
        {"numbers in range", "[Modbus]\nRetries=10\nTimeOut=9999\nRTUTimeOut=0\n",
         with([](auto& s) {
             s.retries = 10;
             s.timeOut = 9999;
             s.rtuTimeOut = 0;
         })},
        {"not a number", "[Modbus]\nRetries=3x\nTimeOut=\n", start},
    };
    for (const BusCase& c : cases) {
        modbus::BusSettings s = start;
        modbus::ReadBusSettings(IniFile::FromText(c.text), s);
        const auto& e = c.expected;
        EXPECT_EQ(s.port, e.port) << c.name;
        EXPECT_EQ(s.framing, e.framing) << c.name;
        EXPECT_EQ(s.speed, e.speed) << c.name;
        EXPECT_EQ(s.dataBits, e.dataBits) << c.name;
        EXPECT_EQ(s.parity, e.parity) << c.name;
        EXPECT_EQ(s.stopBits, e.stopBits) << c.name;
        EXPECT_EQ(s.retries, e.retries) << c.name;
        EXPECT_EQ(s.timeOut, e.timeOut) << c.name;
        EXPECT_EQ(s.rtuTimeOut, e.rtuTimeOut) << c.name;
    }
}

TEST(BusSettings, WritesAllNineKeys) {
    IniFile ini;
    modbus::BusSettings s;
    s.port = 0;
    s.framing = modbus::kFramingAscii;
    s.speed = 5;
    s.parity = 2;
    WriteBusSettings(ini, s);
    EXPECT_EQ(ini.Text(), "[Modbus]\r\nPort=COM1\r\nProtocol=ASCII\r\nSpeed=19200\r\n"
                          "Databits=8 bits\r\nParity=Odd\r\nStopbits=1 bit\r\nRetries=3\r\n"
                          "TimeOut=500\r\nRTUTimeOut=20\r\n");
    modbus::BusSettings back;
    modbus::ReadBusSettings(ini, back);
    EXPECT_EQ(back.port, 1);
    EXPECT_EQ(back.speed, 5);
    EXPECT_EQ(back.parity, 2);
    EXPECT_EQ(back.framing, modbus::kFramingAscii);
}
