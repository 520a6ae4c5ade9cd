#pragma once

#include "host/Prompts.h"

class QWidget;

namespace vantrel::ui {

// Message boxes, the input box and the file dialogs of Qt, owned by the given window (or
// the active one when none is given).
class QtPrompts final : public host::Prompts {
public:
    explicit QtPrompts(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    host::PromptAnswer Ask(const std::string& text, const std::string& caption,
                           host::PromptIcon icon, host::PromptButtons buttons) override;
    // The message box's icon and text above a list that scrolls ("DifferencesList"), the
    // buttons below.
    host::PromptAnswer AskWithList(const std::string& text, const std::vector<std::string>& list,
                                   const std::string& caption, host::PromptIcon icon,
                                   host::PromptButtons buttons) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& initial) override;
    std::optional<std::string> OpenFileName(const host::FileDialogOptions& options) override;
    std::optional<std::string> SaveFileName(const host::FileDialogOptions& options) override;

private:
    QWidget* Owner() const;
    QWidget* owner_;
};

// "Comma separated|*.csv|Any file|*.*" as a Qt filter: "Comma separated (*.csv);;Any file (*.*)".
std::string QtFilter(const std::string& filter);

// The text with CR LF and lone CR as line feeds, as a Qt label wants it.
std::string PlainLines(const std::string& text);

} // namespace vantrel::ui
