#include "ui/ToolIcon.h"

// Outside any namespace, as the resource's registration function is.
static void InitIcons() { Q_INIT_RESOURCE(icons); }

namespace vantrel::ui {

QIcon ToolIcon() {
    // The pictures are compiled into this library; naming them here keeps them in the program.
    InitIcons();
    QIcon icon;
    for (int size : kToolIconSizes)
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/vantrel.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace vantrel::ui
