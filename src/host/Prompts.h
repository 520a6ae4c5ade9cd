#pragma once

// Talking to the user: modal message boxes, the input box and the file dialogs. The rules ask
// through this, so the Qt face, the console and the tests each answer in their own way.

#include <optional>
#include <string>
#include <vector>

namespace vantrel::host {

enum class PromptIcon { None, Information, Warning, Error, Question };

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore, RetryCancel };

enum class PromptAnswer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

// An open or save dialog. filter in the "Description|pattern|Description|pattern" form the
// tool's texts use ("Comma separated|*.csv|Any file|*.*"); defaultExtension without the dot.
struct FileDialogOptions {
    std::string title;
    std::string fileName; // preset name, may be a pattern ("*.cvc")
    std::string folder;   // where the dialog starts; empty: the current folder
    std::string filter;
    std::string defaultExtension;
    bool mustExist = false;       // open: only an existing file is taken
    bool overwritePrompt = false; // save: ask before replacing an existing file
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal message box; the answer is one of its buttons (closing it counts as the
    // button that cancels: Cancel, No, Abort, or Ok for a lone Ok).
    virtual PromptAnswer Ask(const std::string& text, const std::string& caption, PromptIcon icon,
                             PromptButtons buttons) = 0;

    // A message box with a list under its text, which scrolls when it is long (what a write
    // would change). Where there is no such box, the list's lines follow the text.
    virtual PromptAnswer AskWithList(const std::string& text, const std::vector<std::string>& list,
                                     const std::string& caption, PromptIcon icon,
                                     PromptButtons buttons) {
        std::string all = text + "\r\n";
        for (const std::string& line : list)
            all += "\r\n" + line;
        return Ask(all, caption, icon, buttons);
    }

    // A message with an Ok button.
    void Inform(const std::string& text, const std::string& caption, PromptIcon icon) {
        Ask(text, caption, icon, PromptButtons::Ok);
    }

    // The input box: the text entered, or `initial` when it was cancelled.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& initial) = 0;

    // The chosen file's path, nothing when cancelled.
    virtual std::optional<std::string> OpenFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> SaveFileName(const FileDialogOptions& options) = 0;
};

} // namespace vantrel::host
