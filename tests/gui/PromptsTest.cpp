// The scripted prompts the flow tests answer with, and the Qt prompts' filter text.

#include "host/ScriptedPrompts.h"
#include "ui/QtPrompts.h"

#include <gtest/gtest.h>

using namespace vantrel;
using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

TEST(ScriptedPrompts, AnswersFromItsQueuesAndRecordsEveryMessage) {
    host::ScriptedPrompts prompts;
    prompts.answers = {PromptAnswer::No};
    prompts.inputs = {"1234"};
    prompts.fileNames = {std::string("/tmp/unit.cvc")};

    EXPECT_EQ(prompts.Ask("Read?", "Connect Device", PromptIcon::Information, PromptButtons::YesNo),
              PromptAnswer::No);
    EXPECT_EQ(prompts.Ask("Sure?", "Factory reset", PromptIcon::Warning, PromptButtons::YesNo),
              PromptAnswer::Yes); // queue empty: the first button
    prompts.Inform("Done.", "Read Device", PromptIcon::Information);
    EXPECT_EQ(prompts.InputBox("Please enter value", "Calibration value Tune Min:", ""), "1234");
    EXPECT_EQ(prompts.InputBox("Please enter value", "Calibration value Tune Max:", ""), "");
    host::FileDialogOptions open;
    open.title = "Load Unit Values from file...";
    EXPECT_EQ(prompts.OpenFileName(open), std::optional<std::string>("/tmp/unit.cvc"));
    EXPECT_EQ(prompts.SaveFileName(open), std::nullopt);

    ASSERT_EQ(prompts.shown.size(), 7u);
    EXPECT_EQ(prompts.shown[1].caption, "Factory reset");
    EXPECT_EQ(prompts.shown[1].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.shown[2].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompts.shown[3].kind, host::ScriptedPrompts::Kind::Input);
    EXPECT_EQ(prompts.shown[5].file.title, "Load Unit Values from file...");
    EXPECT_EQ(prompts.Texts()[0], "Read?");
}

TEST(QtPrompts, FiltersAndLineEnds) {
    EXPECT_EQ(ui::QtFilter("Comma separated|*.csv|Any file|*.*"),
              "Comma separated (*.csv);;Any file (*.*)");
    EXPECT_EQ(ui::QtFilter("Configuration (*.cvc)|*.cvc|All files (*.*)|*.*"),
              "Configuration (*.cvc);;All files (*.*)");
    EXPECT_EQ(ui::PlainLines("a\r\nb\rc\nd"), "a\nb\nc\nd");
}
