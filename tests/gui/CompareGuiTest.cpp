// The list a question shows (what a write changes), and the comparison's marks on the pages.

#include "tests/gui/SimProgram.h"

#include "device/DeviceAccess.h"
#include "editor/Form.h"
#include "ui/QtPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace vantrel;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

namespace {

QDialog* ListPrompt() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "ListPrompt" && w->isVisible())
            return static_cast<QDialog*>(w);
    return nullptr;
}

// Runs act on the list prompt once it shows.
void WhenListShown(std::function<void(QDialog&)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QDialog* dialog = ListPrompt()) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        }
    });
    poll->start();
}

void Press(QDialog& dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

} // namespace

TEST(QtListPrompt, ShowsTheTextAndEveryLineScrollingAndAnswersWithItsButton) {
    ui::QtPrompts prompts;
    std::vector<std::string> lines;
    for (int i = 1; i <= 40; ++i)
        lines.push_back("Linearization - Row " + std::to_string(i) + ": unit 1, form 2");
    std::vector<std::string> seen;
    bool scrolls = false;
    WhenListShown([&](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>("DifferencesList");
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->count(); ++i)
            seen.push_back(list->item(i)->text().toStdString());
        scrolls = list->verticalScrollBar()->maximum() > 0;
        EXPECT_EQ(dialog.windowTitle(), "Write to device");
        Press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(prompts.AskWithList("This will change the configuration in the device.", lines,
                                  "Write to device", PromptIcon::Question, PromptButtons::OkCancel),
              PromptAnswer::Cancel);
    EXPECT_EQ(seen, lines);
    EXPECT_TRUE(scrolls) << "forty lines scroll";

    WhenListShown([](QDialog& dialog) { Press(dialog, QDialogButtonBox::Ok); });
    EXPECT_EQ(prompts.AskWithList("x", {"No values differ from the unit"}, "Write to device",
                                  PromptIcon::Question, PromptButtons::OkCancel),
              PromptAnswer::Ok);
}

namespace {

class CompareGui : public test::SimProgramTest {};

} // namespace

TEST_F(CompareGui, CompareWithUnitListsAndMarksUntilTheNextRead) {
    sim::UnitOptions options;
    options.model = sim::Model::Q4200;
    options.logger = true;
    StartProgram(options, true);
    ASSERT_FALSE(HasFatalFailure());
    editor::Form& form = program->Form();
    for (int i = 0; i < 400 && !form["ConnectButton"].enabled; ++i)
        QTest::qWait(5);         // the window's start-up
    form.Click("ConnectButton"); // Yes to the read
    ASSERT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.")
        << testing::PrintToString(prompts.Texts());

    form.UserSelect("DisplayBrightnessGroup", 2);
    prompts.shown.clear();
    form.Click("CompareUnitButton");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].list.size(), 1u);
    EXPECT_EQ(prompts.shown[0].list[0].rfind("Display - Backlight Brightness: unit ", 0), 0u);
    QCoreApplication::processEvents();
    QWidget* brightness = program->Window().Widget("DisplayBrightnessGroup");
    ASSERT_NE(brightness, nullptr);
    const auto marked = [&] {
        for (QWidget* w = brightness; w; w = w->parentWidget())
            if (w->property("marked").toBool())
                return true;
        return false;
    };
    EXPECT_TRUE(marked());

    form.Click("DownloadButton");
    QCoreApplication::processEvents();
    EXPECT_FALSE(marked()) << "a read clears the marks";
}

TEST_F(CompareGui, CompareWithFileListsWhatTheFileChangesAndRefusesWhatLoadingRefuses) {
    sim::UnitOptions options;
    options.model = sim::Model::Q4200;
    options.logger = true;
    StartProgram(options, true);
    ASSERT_FALSE(HasFatalFailure());
    editor::Form& form = program->Form();
    for (int i = 0; i < 400 && !form["ConnectButton"].enabled; ++i)
        QTest::qWait(5);
    form.Click("ConnectButton");
    ASSERT_EQ(form.statusPanels[1], " Status: values were read correctly from the device.");
    const std::string tag = form["OthersTagEdit"].text;

    // What the file does not hold, loading takes from the built-in defaults, as Load Config.
    const std::string file = dir + "/tag.cvc";
    std::ofstream(file) << "[MODEL]\r\nID=Q4200_030105\r\n[OTHERS]\r\nTAG=4711\r\n";
    const std::string garbage = dir + "/garbage.cvc";
    std::ofstream(garbage) << "\x01\x02 not a configuration";
    prompts.shown.clear();
    prompts.fileNames = {file, garbage};
    form.Click("CompareFileButton");
    ASSERT_EQ(prompts.shown.size(), 2u) << "the file dialog, then the list";
    const auto& list = prompts.shown[1].list;
    EXPECT_NE(std::find(list.begin(), list.end(), "Others - Tagnumber: form " +
                                                      form["OthersTagLabel"].text +
                                                      ", file 0004711"),
              list.end())
        << testing::PrintToString(list);
    EXPECT_TRUE(form["OthersTagEdit"].marked);
    EXPECT_EQ(form["OthersTagEdit"].text, tag) << "the form keeps its own values";

    prompts.shown.clear();
    form.Click("CompareFileButton");
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Selected file is not valid for this model.");
    EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Error);
    EXPECT_TRUE(prompts.shown[1].list.empty());
    EXPECT_TRUE(form["OthersTagEdit"].marked) << "nothing compared, the marks stay";
}
