#pragma once

// Prompts for tests: every message shown is recorded with its caption, icon and buttons, and
// the answers come from queues the test fills beforehand.

#include "host/Prompts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::host {

class ScriptedPrompts final : public Prompts {
public:
    enum class Kind { Message, Input, Open, Save };

    struct Shown {
        Kind kind = Kind::Message;
        std::string text; // message text, input prompt
        std::string caption;
        PromptIcon icon = PromptIcon::None;
        PromptButtons buttons = PromptButtons::Ok;
        FileDialogOptions file; // Open and Save
        std::vector<std::string> list; // AskWithList
    };

    std::deque<PromptAnswer> answers;
    std::deque<std::string> inputs;
    std::deque<std::optional<std::string>> fileNames;
    std::vector<Shown> shown;

    // With the queue empty a question gets its first button (Ok or Yes, Abort, Retry).
    PromptAnswer Ask(const std::string& text, const std::string& caption, PromptIcon icon,
                     PromptButtons buttons) override {
        shown.push_back({Kind::Message, text, caption, icon, buttons, {}, {}});
        if (answers.empty())
            return FirstButton(buttons);
        const PromptAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    PromptAnswer AskWithList(const std::string& text, const std::vector<std::string>& list,
                             const std::string& caption, PromptIcon icon,
                             PromptButtons buttons) override {
        const PromptAnswer answer = Ask(text, caption, icon, buttons);
        shown.back().list = list;
        return answer;
    }

    // With the queue empty the box counts as cancelled.
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& initial) override {
        shown.push_back(
            {Kind::Input, prompt, caption, PromptIcon::None, PromptButtons::OkCancel, {}, {}});
        if (inputs.empty())
            return initial;
        std::string text = std::move(inputs.front());
        inputs.pop_front();
        return text;
    }

    std::optional<std::string> OpenFileName(const FileDialogOptions& options) override {
        return FileName(Kind::Open, options);
    }
    std::optional<std::string> SaveFileName(const FileDialogOptions& options) override {
        return FileName(Kind::Save, options);
    }

    // The texts of the messages shown so far, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& s : shown)
            texts.push_back(s.text);
        return texts;
    }

    static PromptAnswer FirstButton(PromptButtons buttons) {
        switch (buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
        case PromptButtons::AbortRetryIgnore:
            return PromptAnswer::Abort;
        case PromptButtons::RetryCancel:
            return PromptAnswer::Retry;
        }
        return PromptAnswer::Ok;
    }

private:
    std::optional<std::string> FileName(Kind kind, const FileDialogOptions& options) {
        shown.push_back({kind, options.title, options.title, PromptIcon::None,
                         PromptButtons::OkCancel, options, {}});
        if (fileNames.empty())
            return std::nullopt;
        std::optional<std::string> name = std::move(fileNames.front());
        fileNames.pop_front();
        return name;
    }
};

} // namespace vantrel::host
