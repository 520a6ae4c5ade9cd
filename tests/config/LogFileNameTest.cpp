// The file name the log data window proposes for a readout: a list name with characters no
// file name may hold, or that a save dialog would read as a pattern, still gives a usable name.

#include "device/LogdataForm.h"
#include "host/PlainHost.h"
#include "host/ScriptedPrompts.h"
#include "modbus/ModThread.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace vantrel;

TEST(LogFileName, ListNamesBecomeNamesAFileDialogTakesAsTheyAre) {
    host::PlainHost host;
    modbus::TModThread worker(host, host); // no port: the readout ends at once
    host::ScriptedPrompts prompts;
    device::TLogdataForm window(
        worker, [] { return uint8_t{1}; }, nullptr, prompts);
    window.now = [] {
        std::tm tm{};
        tm.tm_year = 117;
        tm.tm_mon = 2;
        tm.tm_mday = 10;
        tm.tm_hour = 14;
        tm.tm_min = 5;
        tm.tm_sec = 9;
        return tm;
    };
    struct Case {
        const char* list;
        const char* part;
    };
    const Case cases[] = {
        {"ALARM LIST", "ALARM LIST"}, {"FLOW*RATE?", "FLOW_RATE_"}, {"A/B\\C:D", "A_B_C_D"},
        {"<\"x\"|y>", "__x__y_"},     {"[set]", "_set_"},           {"tab\there", "tab_here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        window.saveFileName.clear();
        window.ReadLogList(c.list, 0);
        const std::string name = window.saveFileName;
        EXPECT_EQ(name.substr(0, name.find(" - ")), c.part);
        EXPECT_EQ(name.find_first_of("*?<>|\":\\/[]"), std::string::npos) << name;
    }
}
