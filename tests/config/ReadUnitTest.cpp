// A unit holding values the editing rules would correct if a user typed them: Read device
// shows them as the unit holds them, browsing every page afterwards changes nothing, and
// `vantrel-cli read-config` saves them unchanged.

#include "common/IniFile.h"
#include "editor/Control.h"
#include "tests/config/HeldValues.h"
#include "tests/device/DeviceFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

using namespace vantrel;

namespace {

// What every control holds, and the status text: what browsing must leave alone.
struct Snapshot {
    std::map<std::string, std::string> values;
    std::string status;
};

Snapshot Take(const editor::Form& form) {
    Snapshot s;
    for (const editor::Control& c : form.Controls()) {
        std::string value = c.text + "|" + std::to_string(c.itemIndex);
        if (c.kind == editor::ControlKind::TimePicker || c.kind == editor::ControlKind::DatePicker)
            value += "|" +
                     std::to_string(c.time.hour * 10000 + c.time.minute * 100 + c.time.second) +
                     "|" + std::to_string(c.date.year * 10000 + c.date.month * 100 + c.date.day);
        s.values[c.name] = value;
    }
    s.status = form.statusPanels[1];
    return s;
}

void ExpectSame(const Snapshot& before, const Snapshot& after, const std::string& what) {
    EXPECT_EQ(after.status, before.status) << what;
    for (const auto& [name, value] : before.values)
        EXPECT_EQ(after.values.at(name), value) << name << " after " << what;
}

class ReadHeldValues : public device::test::DeviceTest {};

} // namespace

TEST_F(ReadHeldValues, ReadShowsWhatTheUnitHoldsAndBrowsingChangesNothing) {
    for (const test::HeldUnit& held : test::HeldUnits()) {
        SCOPED_TRACE(held.name);
        TearDown();
        Start(Unit(held.model, held.logger));
        ASSERT_TRUE(test::Hold(*unit, held));
        Identified(held.name, held.variant, held.logger);
        form.ShowPopups = false;
        // The user was in the first field when they pressed Read device, as a window would
        // have it; the run moves the focus on from there.
        form.SetFocus(held.values.front().control);
        int lastDone = -1, lastTotal = -1;
        form.windowChanged = [&] {
            if (form.progressTotal > 0) {
                lastDone = form.progressDone;
                lastTotal = form.progressTotal;
            }
        };
        access->DownloadButtonClick();
        form.windowChanged = nullptr;
        EXPECT_GT(lastTotal, 30);
        EXPECT_EQ(lastDone, lastTotal) << "the finished run's bar reads its total";
        ASSERT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
        for (const test::HeldValue& v : held.values)
            EXPECT_EQ(form[v.control].text, v.shown) << v.control;

        // Every page opened, every control of it focused and clicked into and left, no key.
        const Snapshot before = Take(form);
        for (int step = 0; step < static_cast<int>(form.Pages().size()); ++step) {
            form.btnNextClick();
            const std::string page = form.ActivePageName();
            for (const editor::Control& c : form.Controls()) {
                if (c.page != page || !c.visible || !c.enabled ||
                    c.kind == editor::ControlKind::Button || c.kind == editor::ControlKind::Label)
                    continue;
                form.SetFocus(c.name);
                if (c.kind == editor::ControlKind::Edit)
                    form.Click(c.name);
            }
            form.SetFocus(page + "Next");
        }
        form.SetFocus("");
        ExpectSame(before, Take(form), "browsing every page");
    }
}

TEST(ReadConfigVerb, SavesWhatTheUnitHolds) {
    for (const test::HeldUnit& held : test::HeldUnits()) {
        SCOPED_TRACE(held.name);
        sim::UnitOptions options;
        options.model = held.model;
        options.logger = held.logger;
        sim::SimUnit simUnit(options);
        ASSERT_TRUE(test::Hold(simUnit, held));
        sim::LinkOptions linkOptions;
        linkOptions.paced = false;
        linkOptions.turnaround = {};
        sim::SimLink simLink(simUnit, linkOptions);
        std::string error;
        ASSERT_TRUE(simLink.Start(error)) << error;

        const std::string dir = testing::TempDir() + "/vantrel-read-config-" +
                                std::to_string(::getpid()) + "-" + held.name;
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/unit.cvc";
        const std::string command =
            std::string("'") + VANTREL_CLI + "' --settings '" + dir + "/cli.ini' --port '" +
            simLink.SlavePath() + "' " +
            (held.model == sim::Model::Q4200 ? std::string()
                                             : std::string("--configure-as ") + held.name) +
            " read-config -o '" + file + "' 2>'" + dir + "/stderr.txt'";
        const int status = std::system(command.c_str());
        simLink.Stop();
        ASSERT_EQ(status, 0) << command;

        IniFile saved;
        ASSERT_TRUE(saved.Load(file, &error)) << error;
        for (const test::HeldValue& v : held.values) {
            const auto value = saved.Get(v.section, v.key);
            ASSERT_TRUE(value.has_value()) << v.section << "/" << v.key;
            EXPECT_EQ(*value, v.shown) << v.section << "/" << v.key;
        }
        std::filesystem::remove_all(dir);
    }
}
