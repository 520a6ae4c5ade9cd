#pragma once

#include <QIcon>

namespace vantrel::ui {

// The sizes the tool's icon is drawn in, the same pictures the desktop's icon theme gets.
inline constexpr int kToolIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The tool's icon at every size it is drawn in, for the title bars and the task switcher.
QIcon ToolIcon();

} // namespace vantrel::ui
