#pragma once

// A headless main window with its rules and scripted prompts, the device runs on top, and the
// simulated unit on a pseudo-terminal behind the real worker.

#include "device/DeviceAccess.h"
#include "editor/EditingRules.h"
#include "editor/Form.h"
#include "host/PlainHost.h"
#include "host/ScriptedPrompts.h"
#include "modbus/ModThread.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace vantrel::device::test {

class DeviceTest : public testing::Test {
protected:
    void TearDown() override {
        access.reset();
        worker.reset();
        if (link)
            link->Stop();
        std::filesystem::remove_all(logDir);
    }

    // A unit of the given make on the line, the worker talking RTU to it at 9600.
    void Start(const sim::UnitOptions& options = {}) {
        unit = std::make_unique<sim::SimUnit>(options);
        sim::LinkOptions linkOptions;
        linkOptions.paced = false;
        linkOptions.turnaround = {};
        link = std::make_unique<sim::SimLink>(*unit, linkOptions);
        std::string error;
        ASSERT_TRUE(link->Start(error)) << error;
        worker = std::make_unique<modbus::TModThread>(host, host);
        worker->SetPortResolver([this](int n) { return n == 1 ? link->SlavePath() : ""; });
        worker->SetFraming(modbus::kFramingRtu);
        worker->SetRtuTimeOut(20);
        // Long enough that a loaded machine (the tests run side by side) does not turn a
        // late wake-up into a time-out; the unit answers within a few milliseconds.
        worker->SetResponseTimeOut(150);
        worker->SetRetries(1);
        ASSERT_TRUE(worker->OpenPort(1, 3, 0, 0, 0)) << worker->LastOpenError();
        std::filesystem::create_directories(logDir);
        access = std::make_unique<TDeviceAccess>(form, rules, prompts, *worker,
                                                 [] { return uint8_t{1}; });
        access->logFolder = logDir;
        access->now = [] {
            std::tm tm{};
            tm.tm_year = 2026 - 1900;
            tm.tm_mon = 2;
            tm.tm_mday = 4;
            tm.tm_hour = 9;
            tm.tm_min = 7;
            tm.tm_sec = 5;
            return tm;
        };
        form.versionText = "Version: 1.6 (build: 1.0)";
        form.SetupModel("", 0);
    }

    // The unit identified as this model without asking it (the way a unit that passed
    // identification stands before Read device).
    void Identified(const char* model, char variant, bool logger = false) {
        device.SerialNumber = static_cast<int32_t>(unit->Serial());
        device.Model = model;
        device.Variant = variant;
        device.HasDataLog = logger;
        device.SetVersion(static_cast<int32_t>(unit->Firmware()));
        form.ModelVersionKey = device.ModelVersionKey();
        ASSERT_TRUE(form.SetupModel(model, variant));
        form.UpdateButtons();
    }

    static sim::UnitOptions Unit(sim::Model model, bool logger = false) {
        sim::UnitOptions options;
        options.model = model;
        options.logger = logger;
        return options;
    }

    std::vector<std::string> LogFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(logDir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::vector<std::string> LogLines(const std::string& name) const {
        std::ifstream file(logDir + "/" + name, std::ios::binary);
        std::stringstream all;
        all << file.rdbuf();
        const std::string text = all.str();
        std::vector<std::string> lines;
        size_t at = 0;
        for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        EXPECT_EQ(at, text.size()) << "every line ends with CR LF";
        return lines;
    }

    const std::string logDir = testing::TempDir() + "/device-logs-" + std::to_string(::getpid()) +
                               "-" + testing::UnitTest::GetInstance()->current_test_info()->name();
    host::PlainHost host;
    Device device;
    editor::Form form{device, "/nonexistent/vantrel-settings.ini"};
    host::ScriptedPrompts prompts;
    editor::EditingRules rules{form, prompts};
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<sim::SimLink> link;
    std::unique_ptr<modbus::TModThread> worker;
    std::unique_ptr<TDeviceAccess> access;
};

} // namespace vantrel::device::test
