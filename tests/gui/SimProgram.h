#pragma once

// The whole program on the offscreen platform with the simulated unit on a pseudo-terminal
// as COM3, its prompts answered by script, and a way to act on a window as soon as it shows
// (while the run that opened it waits for it in the event loop).

#include "host/ScriptedPrompts.h"
#include "modbus/Bus.h"
#include "sim/SimLink.h"
#include "sim/SimUnit.h"
#include "tests/model/ModelSupport.h"
#include "ui/ConfigForm.h"
#include "ui/Program.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace vantrel::test {

class SimProgramTest : public testing::Test {
protected:
    void TearDown() override {
        program.reset();
        if (link)
            link->Stop();
        std::filesystem::remove_all(dir);
    }

    // The unit on COM3, the settings file naming that port, the program shown.
    void StartProgram(const sim::UnitOptions& options, bool popups) {
        unit = std::make_unique<sim::SimUnit>(options);
        sim::LinkOptions linkOptions;
        linkOptions.paced = false;
        linkOptions.turnaround = {};
        link = std::make_unique<sim::SimLink>(*unit, linkOptions);
        std::string error;
        ASSERT_TRUE(link->Start(error)) << error;
        ports.Plug(3, link->SlavePath(), "simulated unit");

        std::filesystem::create_directories(dir);
        const std::string settings = dir + "/vantrel.ini";
        std::ofstream(settings) << "[Popups]\r\nShow=" << (popups ? 1 : 0)
                                << "\r\n[Modbus]\r\nPort=COM3\r\nProtocol=RTU\r\nSpeed=9600\r\n"
                                   "Retries=2\r\nTimeOut=200\r\n";
        ui::ProgramOptions programOptions;
        programOptions.settingsPath = settings;
        programOptions.ports = &ports;
        programOptions.splashMs = 20;
        programOptions.prompts = &prompts;
        programOptions.defaultsFolder = dir;
        program = std::make_unique<ui::Program>(programOptions);
        program->Window().show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(program->Bus().ModThread()->IsPortOpen()) << "the settings opened COM3";
    }

    // act runs once on the window of this type and object name, when it is visible and
    // ready says it may go.
    template <typename W>
    void WhenShown(const char* objectName, std::function<void(W&)> act,
                   std::function<bool(W&)> ready = nullptr) {
        auto* poll = new QTimer(&program->Window());
        poll->setInterval(5);
        const QString name = QString::fromUtf8(objectName);
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, act, ready, name] {
            auto* window = program->Window().findChild<W*>(name);
            if (!window || !window->isVisible() || (ready && !ready(*window)))
                return;
            poll->stop();
            poll->deleteLater();
            ++windowsShown;
            act(*window);
        });
        poll->start();
    }

    const std::string dir =
        testing::TempDir() + "/vantrel-gui-" + std::to_string(::getpid()) + "-" +
        testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
        testing::UnitTest::GetInstance()->current_test_info()->name();
    FakePorts ports;
    host::ScriptedPrompts prompts;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<sim::SimLink> link;
    std::unique_ptr<ui::Program> program;
    int windowsShown = 0;
};

} // namespace vantrel::test
