#pragma once

#include <QString>

namespace vantrel::ui {

class Program;

// Saves pictures of the main window, Port Setup, its port list, the about box and the
// "Configure as" dialog into folder; with a unit on the configured port and popups off also
// the window during Read device (its progress bar) and the Runtime Values page after it (and,
// when pagesFolder is not empty, one of every page for a P and an A model there), for the
// documentation and for looking at the layout without a person at the screen. Returns false
// when a picture could not be written. Leaves the window as it found it.
bool SaveScreenshots(Program& program, const QString& folder, const QString& pagesFolder);

} // namespace vantrel::ui
