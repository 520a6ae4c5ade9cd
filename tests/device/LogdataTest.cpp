// The log data window against the simulated unit's logger: the readout's text, its error
// limits, abort and close during a readout, the retry count, saving, and the main window's
// entry.

#include "device/LogdataForm.h"
#include "modbus/PortSetup.h"

#include "DeviceFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::device::test {
namespace {

using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;
using host::ScriptedPrompts;

const std::string kRule(71, '=');

class NoPorts final : public host::PortList {
public:
    std::vector<host::PortEntry> Ports(bool) override { return {}; }
    std::string PathOf(int) override { return {}; }
};

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream all;
    all << file.rdbuf();
    return all.str();
}

class LogdataTest : public DeviceTest {
protected:
    // The window goes before the worker it talks through.
    void TearDown() override {
        window.reset();
        DeviceTest::TearDown();
    }

    // A unit with a logger: list 0 "Runtime" of three records, then the unit's own lists.
    void StartUnit(uint8_t address = 1) {
        sim::UnitOptions options = Unit(sim::Model::Q4200, true);
        options.serial = 12345;
        options.comm.address = address;
        options.logRecords = {3, 3, 0};
        Start(options);
        unit->SetLogList(0, {"Runtime", "DATE;TIME;FLOW", {"r1;10", "r2;20", "r3;30"}});
        worker->SetRetries(3);
        setup.SetRetriesValue(3);
        setup.SetSlaveAddress(address);
        window = std::make_unique<TLogdataForm>(
            *worker, [this] { return static_cast<uint8_t>(setup.GetSlaveAddress()); }, &setup,
            prompts);
        window->now = [] {
            std::tm tm{};
            tm.tm_year = 2017 - 1900;
            tm.tm_mon = 2;
            tm.tm_mday = 10;
            tm.tm_hour = 14;
            tm.tm_min = 5;
            tm.tm_sec = 9;
            return tm;
        };
    }

    void Read(int item) {
        window->cbLogListsSelect(item);
        window->btnReadDataClick();
    }

    // The lines of a complete readout of the "Runtime" list with this many retries.
    static std::vector<std::string> RuntimeReadout(int retries) {
        return {"Readout of Runtime for s/n 0012345 at 2017-03-10 14:05:09",
                "There are 3 records in this list.",
                kRule,
                "## read;DATE;TIME;FLOW",
                "0000001;r1;10",
                "0000002;r2;20",
                "0000003;r3;30",
                "0000004;NO RECORD FOUND",
                kRule,
                "End of readout: Runtime - 0012345 - 2017-03-10 14:05:09",
                "Total number of retries: " + std::to_string(retries)};
    }

    size_t CountLines(const std::string& start) const {
        size_t n = 0;
        for (const std::string& line : window->Memo3)
            n += line.rfind(start, 0) == 0;
        return n;
    }

    NoPorts ports;
    modbus::PortSetup setup{ports};
    std::unique_ptr<TLogdataForm> window;
};

TEST_F(LogdataTest, ShowListsTheUnitsLogLists) {
    StartUnit();
    window->FormShow();
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(window->cbLogLists,
              (std::vector<std::string>{"Runtime", "EVENT LIST", "ALARM LIST"}));
    EXPECT_EQ(window->cbLogListsIndex, -1);
    EXPECT_EQ(window->btnReadData, "Read data");
}

TEST_F(LogdataTest, ListNamesAreCutToSixteenCharactersWithoutTrailingBlanks) {
    StartUnit();
    unit->SetLogList(1, {"A RATHER LONG LIST NAME", "H", {}});
    unit->SetLogList(2, {"ALARMS \t ", "H", {}});
    window->FormShow();
    EXPECT_EQ(window->cbLogLists,
              (std::vector<std::string>{"Runtime", "A RATHER LONG LI", "ALARMS"}));
}

TEST_F(LogdataTest, ThreeRecordsEndWithRecordLineFour) {
    StartUnit();
    window->FormShow();
    Read(0);
    EXPECT_EQ(window->Memo3, RuntimeReadout(0));
    EXPECT_EQ(window->lblHeader, "## read;DATE;TIME;FLOW");
    EXPECT_EQ(window->btnReadData, "Read data");
    EXPECT_FALSE(window->Reading);
    EXPECT_FALSE(window->Terminated());
    EXPECT_TRUE(window->UnsavedData);
    EXPECT_EQ(window->recordsRead, 3);
    EXPECT_EQ(window->recordCount, 3);
    EXPECT_EQ(window->saveFileName, "Runtime - 0012345 - 2017-03-10 14-05-09.csv");
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(LogdataTest, EmptyListGivesOneRecordLine) {
    StartUnit();
    window->FormShow();
    Read(2);
    EXPECT_EQ(window->Memo3, (std::vector<std::string>{
                                 "Readout of ALARM LIST for s/n 0012345 at 2017-03-10 14:05:09",
                                 "There are 0 records in this list.", kRule,
                                 "## read;DATE;TIME;ALARM", "0000001;NO RECORD FOUND", kRule,
                                 "End of readout: ALARM LIST - 0012345 - 2017-03-10 14:05:09",
                                 "Total number of retries: 0"}));
    EXPECT_EQ(window->recordsRead, 0);
}

TEST_F(LogdataTest, LongListIsReadWhole) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 1200));
    const std::vector<std::string> records = unit->GetLogList(0).records;
    window->FormShow();
    Read(0);
    ASSERT_EQ(window->Memo3.size(), 4 + 1201 + 3u);
    EXPECT_EQ(window->Memo3[1], "There are 1200 records in this list.");
    for (size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(window->Memo3[4 + i],
                  PaddedDigits(static_cast<int64_t>(i + 1), 7) + ";" + records[i]);
    EXPECT_EQ(window->Memo3[4 + 1200], "0001201;NO RECORD FOUND");
    EXPECT_EQ(window->Memo3.back(), "Total number of retries: 0");
    EXPECT_EQ(window->recordsRead, 1200);
}

TEST_F(LogdataTest, AbortDuringTheRecordLoopEndsAfterThatRecord) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 50));
    unit->FailReads(logreg::kUp, 2); // the first "Up" fails twice: two retries counted
    window->FormShow();
    bool clicked = false;
    window->changed = [&] {
        if (window->Reading && window->Memo3.size() == 4 + 3 && !clicked) {
            clicked = true;
            window->btnReadDataClick(); // the button says "Cancel": the abort question
        }
    };
    prompts.answers = {PromptAnswer::Yes};
    Read(0);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Still reading log data, would you like to abort?");
    EXPECT_EQ(prompts.shown[0].caption, "Still reading");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNo);
    ASSERT_EQ(window->Memo3.size(), 4 + 3 + 3u);
    EXPECT_EQ(window->Memo3[6].substr(0, 8), "0000003;");
    EXPECT_EQ(window->Memo3[7], kRule);
    EXPECT_EQ(window->Memo3[9], "Total number of retries: 2");
    EXPECT_FALSE(window->Terminated());
    EXPECT_FALSE(window->Reading);
}

TEST_F(LogdataTest, ClickDuringTheFirstReadsStartsNoSecondReadout) {
    StartUnit();
    window->FormShow();
    bool clicked = false;
    window->changed = [&] {
        if (window->Memo3.size() == 1 && !window->Reading && !clicked) {
            clicked = true;
            window->btnReadDataClick();
        }
    };
    prompts.answers = {PromptAnswer::No};
    Read(0);
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::string>{"Still reading log data, would you like to abort?"}));
    EXPECT_EQ(window->Memo3, RuntimeReadout(0));
}

TEST_F(LogdataTest, FiveFailuresOnOneRecordEndTheReadout) {
    StartUnit();
    window->FormShow();
    unit->FailReads(logreg::kUp, 1);
    unit->FailReads(logreg::kCurrent, 5); // the sixth read fails as well
    Read(0);
    ASSERT_EQ(window->Memo3.size(), 4 + 2 + 4u);
    EXPECT_EQ(window->Memo3[4], "0000001;r1;10");
    EXPECT_EQ(window->Memo3[5], "0000002;"); // the sixth read failed too
    EXPECT_EQ(window->Memo3[6], kRule);
    EXPECT_EQ(window->Memo3[8],
              "Total number of errors: 5 - errors forced termination of readout.");
    EXPECT_EQ(window->Memo3[9], "Readout NOT successful!");
    EXPECT_TRUE(window->Terminated());
    EXPECT_EQ(window->btnReadData, "Read data");
}

TEST_F(LogdataTest, FourFailuresOnOneRecordAreRetries) {
    StartUnit();
    window->FormShow();
    unit->FailReads(logreg::kUp, 1);
    unit->FailReads(logreg::kCurrent, 3); // with the "Up": four counted failures
    Read(0);
    EXPECT_FALSE(window->Terminated());
    EXPECT_EQ(window->Memo3.back(), "Total number of retries: 4");
    // The refused "Up" did not move on: the current record is the one before, so "Up" is
    // asked again instead of that record being taken twice.
    EXPECT_EQ(window->Memo3[5], "0000002;r2;20");
    EXPECT_EQ(window->Memo3[6], "0000003;r3;30");
    EXPECT_EQ(CountLines("0000004;NO RECORD FOUND"), 1u);
}

TEST_F(LogdataTest, HundredRetriesInTheRecordLoopEndTheReadout) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 150));
    window->FormShow();
    // Every "Up" moves on but its answer comes garbled: every record needs its "Current_1".
    sim::Fault garbled;
    garbled.kind = sim::FaultKind::BadChecksum;
    garbled.count = sim::kAlways;
    garbled.reg = logreg::kUp;
    link->InjectFault(garbled);
    Read(0);
    EXPECT_TRUE(window->Terminated());
    EXPECT_EQ(CountLines("0000101;"), 1u);
    EXPECT_EQ(CountLines("0000102;"), 0u);
    EXPECT_EQ(window->Memo3[window->Memo3.size() - 2],
              "Total number of errors: 100 - errors forced termination of readout.");
}

struct PreliminaryCase {
    const char* name;
    std::vector<std::pair<uint16_t, int>> failures; // register, failed reads
    bool terminated;
    int errors;
    std::string serialText;
    bool headerRead; // the readout's own lines replaced the earlier text
};

class LogdataLimitTest : public LogdataTest, public testing::WithParamInterface<PreliminaryCase> {};

TEST_P(LogdataLimitTest, ErrorLimitsOfTheFirstReads) {
    const PreliminaryCase& c = GetParam();
    StartUnit();
    window->FormShow();
    window->Memo3 = {"earlier text"};
    for (const auto& [reg, count] : c.failures)
        unit->FailReads(reg, count);
    Read(0);
    EXPECT_EQ(window->Terminated(), c.terminated);
    EXPECT_EQ(window->Memo3.front() == "earlier text", !c.headerRead);
    EXPECT_EQ(CountLines("End of readout: Runtime - " + c.serialText + " - "), 1u);
    if (c.terminated) {
        ASSERT_GE(window->Memo3.size(), 2u);
        EXPECT_EQ(window->Memo3[window->Memo3.size() - 2],
                  "Total number of errors: " + std::to_string(c.errors) +
                      " - errors forced termination of readout.");
        EXPECT_EQ(window->Memo3.back(), "Readout NOT successful!");
        EXPECT_EQ(CountLines("0000002;"), 0u) << "no record loop";
    } else {
        EXPECT_EQ(window->Memo3.back(), "Total number of retries: " + std::to_string(c.errors));
        EXPECT_EQ(CountLines("0000004;NO RECORD FOUND"), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LogdataLimitTest,
    testing::Values(
        PreliminaryCase{"SerialFourFailures", {{2, 4}}, false, 4, "0012345", true},
        PreliminaryCase{"SerialFiveFailures", {{2, 5}}, true, 5, "0012345", false},
        PreliminaryCase{"SerialSixFailures", {{2, 6}}, true, 5, "0000000", false},
        PreliminaryCase{"HeaderNineFailures", {{8208, 9}}, false, 9, "0012345", true},
        PreliminaryCase{"HeaderTenFailures", {{8208, 10}}, true, 10, "0012345", true},
        PreliminaryCase{"SerialAndHeaderTogether", {{2, 3}, {8208, 7}}, true, 10, "0012345", true},
        PreliminaryCase{"FirstRecordFourteen", {{8220, 14}}, false, 14, "0012345", true},
        PreliminaryCase{"FirstRecordFifteen", {{8220, 15}}, true, 15, "0012345", true},
        PreliminaryCase{"RecordCountIsNotCounted", {{8194, 1}}, false, 0, "0012345", true}),
    [](const testing::TestParamInfo<PreliminaryCase>& info) { return info.param.name; });

TEST_F(LogdataTest, FailedRecordCountIsUnknownNotZero) {
    StartUnit();
    window->FormShow();
    unit->FailReads(logreg::kRecordCount, 1);
    Read(0);
    EXPECT_EQ(window->Memo3[1],
              "The number of records in this list is unknown: it could not be read.");
    EXPECT_EQ(CountLines("0000004;NO RECORD FOUND"), 1u);
}

TEST_F(LogdataTest, AListIsReadOnlyOnceItIsSelected) {
    // A lost selection is sent again: the readout is of the list asked for.
    StartUnit();
    window->FormShow();
    unit->FailWrites(logreg::kSelectList, 2);
    Read(0);
    EXPECT_EQ(window->Memo3[0].rfind("Readout of Runtime for s/n 0012345", 0), 0u);
    EXPECT_EQ(window->Memo3[4], "0000001;r1;10");
    EXPECT_EQ(window->Memo3.back(), "Total number of retries: 2");
    EXPECT_TRUE(prompts.shown.empty());

    // One that never goes through reads nothing: whatever list the unit has selected would
    // otherwise be saved under this one's name.
    window->Memo3 = {"earlier text"};
    window->UnsavedData = false;
    unit->FailWrites(logreg::kSelectList, 3);
    const auto readsBefore = unit->Counters().reads;
    Read(0);
    ASSERT_EQ(prompts.Texts(),
              (std::vector<std::string>{"The log list could not be selected on the unit, so "
                                        "nothing was read. Please try again."}));
    EXPECT_EQ(window->Memo3.front(), "earlier text");
    EXPECT_EQ(window->Memo3.back(), "Readout NOT successful!");
    EXPECT_TRUE(window->Terminated());
    EXPECT_EQ(unit->Counters().reads, readsBefore) << "nothing but the selection was asked";
}

TEST_F(LogdataTest, AConverterUnpluggedDuringTheReadoutEndsItWithOneMessage) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 40));
    window->FormShow();
    const std::string path = link->SlavePath();
    window->changed = [&] {
        if (window->Reading && window->recordsRead == 5 && link->Connected())
            link->Disconnect();
    };
    Read(0);
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::string>{"The port " + path +
                                        " has gone away. Check the converter's cable, then Port "
                                        "Setup."}));
    EXPECT_TRUE(window->Terminated());
    EXPECT_EQ(window->Memo3.back(), "Readout NOT successful!");
    EXPECT_LT(window->recordsRead, 10);
    EXPECT_EQ(window->btnReadData, "Read data");
}

TEST_F(LogdataTest, ListWhoseSelectionFailedKeepsTheOthersIndexes) {
    StartUnit();
    unit->FailWrites(logreg::kSelectList, 1); // list 0 cannot be selected while listing
    unit->FailReads(logreg::kListName, 1);    // nor list 1's name read
    window->FormShow();
    EXPECT_EQ(window->cbLogLists, (std::vector<std::string>{"", "ALARM LIST"}));
    Read(1);
    EXPECT_EQ(window->Memo3[0], "Readout of ALARM LIST for s/n 0012345 at 2017-03-10 14:05:09");
    EXPECT_EQ(window->Memo3[3], "## read;DATE;TIME;ALARM");
}

TEST_F(LogdataTest, NoListsWhenTheCountCannotBeRead) {
    StartUnit();
    unit->FailReads(logreg::kListCount, 1);
    window->FormShow();
    EXPECT_TRUE(window->cbLogLists.empty());
}

TEST_F(LogdataTest, ReadingWithoutASelectionAsksForOne) {
    StartUnit();
    window->FormShow();
    unit->ResetCounters();
    window->btnReadDataClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Please select a list to read.");
    EXPECT_EQ(prompts.shown[0].caption, "Please select a list");
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(unit->Counters().requests, 0u);
}

TEST_F(LogdataTest, UnsavedTextQuestionBeforeTheNextReadout) {
    for (const PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
        SCOPED_TRACE(answer == PromptAnswer::Yes ? "Yes" : "No");
        StartUnit();
        window->FormShow();
        Read(0);
        const std::string path = logDir + "/saved.csv";
        prompts.answers = {answer};
        prompts.fileNames = {path};
        unit->ResetCounters();
        window->btnReadDataClick();
        ASSERT_GE(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text,
                  "You have not saved your data, would you like to do this now?");
        EXPECT_EQ(prompts.shown[0].caption, "Data not exported");
        EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
        if (answer == PromptAnswer::Yes) {
            EXPECT_EQ(FileText(path), window->MemoText());
            EXPECT_FALSE(window->UnsavedData);
            EXPECT_EQ(unit->Counters().requests, 0u) << "saving does not start a readout";
        } else {
            EXPECT_FALSE(std::filesystem::exists(path));
            EXPECT_EQ(window->Memo3, RuntimeReadout(0)) << "replaced, not appended";
            EXPECT_GT(unit->Counters().requests, 0u);
            EXPECT_TRUE(window->UnsavedData);
        }
        window.reset();
        TearDown();
        prompts.shown.clear();
    }
}

TEST_F(LogdataTest, PopupsOffACancelledSaveLetsTheNextReadoutStart) {
    StartUnit();
    window->showPopups = [] { return false; };
    window->FormShow();
    Read(0);
    ASSERT_TRUE(window->UnsavedData);
    // The tool answers the question itself and opens the save dialog; the user cancels it:
    // that is the user's own "No", and the readout starts.
    prompts.fileNames = {std::nullopt};
    window->Memo3.push_back("a line of the earlier readout");
    unit->ResetCounters();
    window->btnReadDataClick();
    EXPECT_TRUE(prompts.fileNames.empty()) << "the save dialog was shown";
    EXPECT_GT(unit->Counters().requests, 0u);
    EXPECT_EQ(window->Memo3, RuntimeReadout(0));

    // A save that fails keeps the text and reads nothing over it.
    prompts.fileNames = {logDir + "/no-such-folder/x.csv"};
    unit->ResetCounters();
    window->btnReadDataClick();
    EXPECT_EQ(unit->Counters().requests, 0u);
    EXPECT_TRUE(window->UnsavedData);
}

TEST_F(LogdataTest, SaveWritesCrLfLinesAndProposesTheNextNameInThatFolder) {
    StartUnit();
    window->FormShow();
    Read(0);
    const std::string path = logDir + "/runtime.csv";
    { std::ofstream(path) << "old content that is longer than nothing"; }
    prompts.fileNames = {path};
    window->Button3Click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    const host::FileDialogOptions& dialog = prompts.shown[0].file;
    EXPECT_EQ(dialog.title, "Logdata - save to file...");
    EXPECT_EQ(dialog.filter, "Comma separated|*.csv|Any file|*.*");
    EXPECT_EQ(dialog.defaultExtension, "csv");
    EXPECT_TRUE(dialog.overwritePrompt);
    EXPECT_EQ(dialog.fileName, "Runtime - 0012345 - 2017-03-10 14-05-09.csv");

    std::string expected;
    for (const std::string& line : RuntimeReadout(0))
        expected += line + "\r\n";
    EXPECT_EQ(FileText(path), expected);
    EXPECT_FALSE(window->UnsavedData);
    for (const auto& entry : std::filesystem::directory_iterator(logDir))
        EXPECT_EQ(entry.path().filename(), "runtime.csv") << "no temporary file left";

    Read(2);
    EXPECT_EQ(window->saveFileName, logDir + "/ALARM LIST - 0012345 - 2017-03-10 14-05-09.csv");
}

TEST_F(LogdataTest, FailedSaveSaysSoAndKeepsTheTextUnsaved) {
    StartUnit();
    window->FormShow();
    Read(0);
    prompts.fileNames = {logDir + "/no/such/folder/x.csv"};
    window->Button3Click();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].caption, "Logdata - save to file...");
    EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Error);
    EXPECT_TRUE(window->UnsavedData);
}

TEST_F(LogdataTest, CancelledSaveChangesNothing) {
    StartUnit();
    window->FormShow();
    Read(0);
    window->Button3Click(); // no file name queued: cancelled
    EXPECT_TRUE(window->UnsavedData);
    EXPECT_EQ(window->saveFileName, "Runtime - 0012345 - 2017-03-10 14-05-09.csv");
}

TEST_F(LogdataTest, UnitAtSlaveAddressFive) {
    StartUnit(5);
    window->FormShow();
    Read(0);
    EXPECT_EQ(window->Memo3, RuntimeReadout(0));
}

TEST_F(LogdataTest, OneTryWhileOpenEvenWithLockedSettingsThenTheOldCount) {
    StartUnit();
    setup.LockCheckBoxClick(true);
    window->FormShow();
    EXPECT_EQ(setup.GetRetries(), 1);
    EXPECT_EQ(worker->Retries(), 1);
    std::vector<int> seen;
    window->changed = [&] {
        if (window->Busy())
            seen.push_back(worker->Retries() * 10 + setup.GetRetries());
    };
    Read(0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 11), static_cast<long>(seen.size()));
    prompts.answers = {PromptAnswer::No}; // the unsaved-data question
    EXPECT_TRUE(window->FormClose());
    EXPECT_FALSE(window->visible);
    EXPECT_EQ(setup.GetRetries(), 3);
    EXPECT_EQ(worker->Retries(), 3);
    EXPECT_TRUE(setup.lockSettings);
}

TEST_F(LogdataTest, ClosingDuringTheReadoutAbortsItAndRestoresTheCountAfterIt) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 40));
    window->FormShow();
    bool closed = false;
    int attempts = 0;
    int triesRightAfterClose = 0;
    window->changed = [&] {
        if (window->Reading && window->Memo3.size() >= 4 + 5 && attempts < 2 && !closed) {
            ++attempts;
            closed = window->FormClose();
            triesRightAfterClose = worker->Retries();
        }
    };
    prompts.answers = {PromptAnswer::No, PromptAnswer::Yes};
    Read(0);
    // No keeps the window open; Yes closes it and stops the readout after that record.
    ASSERT_EQ(prompts.Texts(),
              (std::vector<std::string>{
                  "This will cancel the reading operation. Do you wish to proceed?",
                  "This will cancel the reading operation. Do you wish to proceed?"}));
    EXPECT_EQ(prompts.shown[0].caption, "Cancel reading");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Question);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(window->visible);
    EXPECT_EQ(triesRightAfterClose, 1) << "the readout still runs with one try";
    EXPECT_EQ(window->Memo3[4 + 6], kRule);
    EXPECT_EQ(window->Memo3.back(), "Total number of retries: 0");
    EXPECT_EQ(worker->Retries(), 3);
    EXPECT_EQ(setup.GetRetries(), 3);
}

TEST_F(LogdataTest, ClosingDuringTheFirstReadsStopsTheReadoutAfterOneMoreRecord) {
    StartUnit();
    ASSERT_TRUE(unit->SetLogRecordCount(0, 40));
    window->FormShow();
    bool asked = false;
    window->changed = [&] {
        if (window->Memo3.size() == 1 && !window->Reading && !asked) {
            asked = true;
            EXPECT_TRUE(window->FormClose());
        }
    };
    Read(0);
    EXPECT_EQ(prompts.Texts(),
              (std::vector<std::string>{
                  "This will cancel the reading operation. Do you wish to proceed?"}));
    EXPECT_FALSE(window->visible);
    ASSERT_EQ(window->Memo3.size(), 4 + 2 + 3u);
    EXPECT_EQ(window->Memo3[5].substr(0, 8), "0000002;");
    EXPECT_EQ(window->Memo3.back(), "Total number of retries: 0");
    EXPECT_EQ(worker->Retries(), 3);
}

TEST_F(LogdataTest, ClosingWithUnsavedTextOffersToSave) {
    StartUnit();
    window->FormShow();
    Read(0);
    const std::string path = logDir + "/closing.csv";
    prompts.answers = {PromptAnswer::Yes};
    prompts.fileNames = {path};
    EXPECT_TRUE(window->FormClose());
    EXPECT_EQ(prompts.shown[0].text,
              "You have not saved your data, would you like to do this now?");
    EXPECT_EQ(FileText(path), window->MemoText());
}

TEST_F(LogdataTest, SpeedButtonShowsAndHidesThePortSetup) {
    StartUnit();
    int clicks = 0;
    window->modbusSetupClick = [&] {
        ++clicks;
        setup.visible = true;
    };
    window->SpeedButton1Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(setup.visible);
    window->SpeedButton1Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(setup.visible);
}

// ---- the main window's entry

class LogdataEntryTest : public LogdataTest {
protected:
    void StartAt(uint8_t address) {
        StartUnit(address);
        entry = std::make_unique<TDeviceAccess>(form, rules, prompts, *worker, [this] {
            return static_cast<uint8_t>(setup.GetSlaveAddress());
        });
        entry->portSetup = &setup;
        entry->now = window->now;
        device.SerialNumber = 12345;
    }
    std::unique_ptr<TDeviceAccess> entry;
};

TEST_F(LogdataEntryTest, ChecksTheUnitAtTheBusAddressThenRunsTheWindow) {
    StartAt(5);
    bool ran = false;
    bool mainEnabledMeanwhile = true;
    LogdataButtonClick(*entry, [&](TLogdataForm& logWindow) {
        ran = true;
        mainEnabledMeanwhile = form.enabled;
        logWindow.FormShow();
        logWindow.cbLogListsSelect(0);
        logWindow.btnReadDataClick();
        EXPECT_EQ(logWindow.Memo3, RuntimeReadout(0));
        prompts.answers = {PromptAnswer::No};
        EXPECT_TRUE(logWindow.FormClose());
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(mainEnabledMeanwhile);
    EXPECT_TRUE(form.enabled);
    EXPECT_EQ(worker->Retries(), 3);
}

TEST_F(LogdataEntryTest, NoUnitMeansNoWindow) {
    StartAt(1);
    device.SerialNumber = -1;
    bool ran = false;
    LogdataButtonClick(*entry, [&](TLogdataForm&) { ran = true; });
    EXPECT_FALSE(ran);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "No device found.");
    EXPECT_EQ(prompts.shown[0].caption, "Write Device");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Error);
}

TEST_F(LogdataEntryTest, AnotherUnitMeansNoWindow) {
    StartAt(1);
    device.SerialNumber = 777;
    bool ran = false;
    LogdataButtonClick(*entry, [&](TLogdataForm&) { ran = true; });
    EXPECT_FALSE(ran);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].caption, "Write Device");
    EXPECT_NE(prompts.shown[0].text.find("different serialnumber"), std::string::npos);
    EXPECT_TRUE(form.enabled);
}

TEST_F(LogdataEntryTest, PopupsOffAnswersTheQuestionsYes) {
    StartAt(1);
    form.ShowPopups = false;
    LogdataButtonClick(*entry, [&](TLogdataForm& logWindow) {
        logWindow.FormShow();
        logWindow.cbLogListsSelect(0);
        logWindow.btnReadDataClick();
        prompts.fileNames = {logDir + "/quiet.csv"};
        EXPECT_TRUE(logWindow.FormClose()); // the save question counts as Yes
    });
    EXPECT_TRUE(std::filesystem::exists(logDir + "/quiet.csv"));
    for (const ScriptedPrompts::Shown& s : prompts.shown)
        EXPECT_NE(s.kind, ScriptedPrompts::Kind::Message) << s.text;
}

} // namespace
} // namespace vantrel::device::test
