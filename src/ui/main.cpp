// vantrel: the configuration tool's window.

#include "ui/ConfigForm.h"
#include "ui/Program.h"
#include "ui/Screenshots.h"
#include "ui/ToolIcon.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include <cstring>
#include <exception>
#include <iostream>

namespace {

constexpr const char* kTitle = "Vantrel";

void ShowException(const std::exception& e) {
    QMessageBox::critical(QApplication::activeWindow(), kTitle, QString::fromUtf8(e.what()));
}

// An exception that escapes a handler is shown and the program goes on, as the toolkit's
// standard exception dialog does.
class Application final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowException(e);
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    try {
        QApplication::setApplicationName(kTitle);
        // No display name: the platform would append it to every dialog's title, and a
        // message's caption is its own ("Read Device", "Port Setup").
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setWindowIcon(vantrel::ui::ToolIcon());
        // The desktop entry's name, so that the desktop matches the window with its entry.
        QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));

        // For the documentation's pictures only: --screenshot DIR saves them and exits;
        // --screenshot-pages DIR adds one picture per page.
        QString screenshots, pages;
        for (int i = 1; i + 1 < argc; ++i) {
            if (std::strcmp(argv[i], "--screenshot") == 0)
                screenshots = QString::fromLocal8Bit(argv[i + 1]);
            else if (std::strcmp(argv[i], "--screenshot-pages") == 0)
                pages = QString::fromLocal8Bit(argv[i + 1]);
        }

        vantrel::ui::Program program;
        program.Window().show();
        if (!screenshots.isEmpty())
            return vantrel::ui::SaveScreenshots(program, screenshots, pages) ? 0 : 1;
        if (!program.folderProblem.empty())
            QMessageBox::warning(&program.Window(), kTitle,
                                 QString::fromStdString(program.folderProblem));
        return QApplication::exec();
    } catch (const std::exception& e) {
        ShowException(e);
        return 0;
    }
}
