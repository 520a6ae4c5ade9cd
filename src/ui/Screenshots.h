#pragma once

#include <QString>

namespace vantrel::ui {

class Program;

// Saves pictures of the main window, Port Setup, its port list and the about box into folder (and,
// when pagesFolder is not empty, one of every page for a P and an A model there), for the
// documentation and for looking at the layout without a person at the screen. Returns false
// when a picture could not be written. Leaves the window as it found it.
bool SaveScreenshots(Program& program, const QString& folder, const QString& pagesFolder);

} // namespace vantrel::ui
