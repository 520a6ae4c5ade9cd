#include "cli/LogVerbs.h"

#include "cli/JsonOutput.h"
#include "cli/Session.h"
#include "device/LogdataForm.h"

#include <iostream>
#include <optional>

namespace vantrel::cli {

namespace {

// The window on the session's bus, its lists enumerated as on opening. Questions are
// answered as the GUI answers them with popups off.
struct LogWindow {
    explicit LogWindow(Session& s) : form(*s.bus, s.prompts) {
        form.showPopups = [] { return false; };
        form.FormShow();
    }
    device::TLogdataForm form;
};

int NoLists(Context& c) {
    std::cerr << "No log lists were found on the unit.\n";
    if (c.worker.LastResult() != 0)
        std::cerr << c.worker.ResultText() << "\n";
    return kExitFailed;
}

} // namespace

int LogListsVerb(Context& c) {
    if (!c.options.args.empty()) {
        std::cerr << "log-lists takes no arguments\n";
        return kExitUsage;
    }
    LogWindow window(c.session);
    const device::TLogdataForm& form = window.form;
    if (form.cbLogLists.empty())
        return NoLists(c);
    if (c.options.json) {
        std::cout << LogListsJson(form.listIndexes, form.cbLogLists);
        return std::cout.flush() ? kExitDone : kExitFailed;
    }
    for (size_t i = 0; i < form.cbLogLists.size(); ++i)
        std::cout << form.listIndexes[i] << "\t" << form.cbLogLists[i] << "\n";
    return std::cout.flush() ? kExitDone : kExitFailed;
}

int LogReadVerb(Context& c) {
    std::optional<std::string> file;
    if (!TakeOutputOption(c.options.args, file))
        return kExitUsage;
    int index = 0;
    if (c.options.args.size() != 1 || !ParseInt(c.options.args[0], 0, 255, index)) {
        std::cerr << "log-read INDEX [-o FILE]: a list index 0-255 as log-lists shows it\n";
        return kExitUsage;
    }
    Session& s = c.session;
    LogWindow window(s);
    device::TLogdataForm& form = window.form;
    if (form.cbLogLists.empty())
        return NoLists(c);
    int item = -1;
    for (size_t i = 0; i < form.listIndexes.size(); ++i)
        if (form.listIndexes[i] == index)
            item = static_cast<int>(i);
    if (item < 0) {
        std::cerr << "The unit has no log list " << index << ".\n";
        return kExitFailed;
    }
    form.cbLogListsSelect(item);
    form.btnReadDataClick();

    if (file) {
        const int errorsBefore = s.prompts.errors;
        s.prompts.fileName = *file;
        form.Button3Click();
        if (s.prompts.errors != errorsBefore || form.UnsavedData)
            return kExitFailed;
    } else {
        for (const std::string& line : form.Memo3)
            std::cout << line << "\n";
        if (!std::cout.flush())
            return kExitFailed;
    }
    if (form.Terminated()) {
        std::cerr << device::kReadoutNotSuccessful << "\n" << c.worker.ResultText() << "\n";
        return kExitFailed;
    }
    return kExitDone;
}

} // namespace vantrel::cli
