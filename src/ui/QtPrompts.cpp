#include "ui/QtPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QVBoxLayout>

namespace vantrel::ui {

using host::PromptAnswer;
using host::PromptButtons;
using host::PromptIcon;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon IconOf(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton escapeButton; // what closing the box counts as
};

ButtonSet ButtonsOf(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::Ok:
        return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
    case PromptButtons::OkCancel:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel};
    case PromptButtons::YesNo:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No};
    case PromptButtons::YesNoCancel:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                QMessageBox::Cancel};
    case PromptButtons::AbortRetryIgnore:
        return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort,
                QMessageBox::Abort};
    case PromptButtons::RetryCancel:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry, QMessageBox::Cancel};
    }
    return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

PromptAnswer AnswerOf(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Abort:
        return PromptAnswer::Abort;
    case QMessageBox::Retry:
        return PromptAnswer::Retry;
    case QMessageBox::Ignore:
        return PromptAnswer::Ignore;
    default:
        return PromptAnswer::Ok;
    }
}

// A preset that is only a pattern ("*.cvc") is left to the filter; the name box stays empty.
bool IsPattern(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

std::optional<std::string> RunFileDialog(QWidget* owner, const host::FileDialogOptions& options,
                                         bool save) {
    QFileDialog dialog(owner, Q(options.title), Q(options.folder), Q(QtFilter(options.filter)));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !options.mustExist ? QFileDialog::AnyFile
                                                  : QFileDialog::ExistingFile);
    if (save && !options.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!options.defaultExtension.empty())
        dialog.setDefaultSuffix(Q(options.defaultExtension));
    if (!options.fileName.empty() && !IsPattern(options.fileName))
        dialog.selectFile(Q(options.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

} // namespace

std::string PlainLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string QtFilter(const std::string& filter) {
    QStringList parts = Q(filter).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = QString(parts[i + 1]).replace(';', ' ');
        // Qt reads the patterns from the description's parentheses; a description that
        // already shows them stays as it is.
        if (parts[i].contains('(' + pattern + ')'))
            entries << parts[i];
        else
            entries << QStringLiteral("%1 (%2)").arg(parts[i], pattern);
    }
    return entries.join(";;").toStdString();
}

QWidget* QtPrompts::Owner() const {
    return owner_ ? owner_ : QApplication::activeWindow();
}

PromptAnswer QtPrompts::Ask(const std::string& text, const std::string& caption, PromptIcon icon,
                            PromptButtons buttons) {
    const ButtonSet set = ButtonsOf(buttons);
    QMessageBox box(IconOf(icon), Q(caption), Q(PlainLines(text)), set.buttons, Owner());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(set.defaultButton);
    box.setEscapeButton(set.escapeButton);
    return AnswerOf(box.exec());
}

PromptAnswer QtPrompts::AskWithList(const std::string& text, const std::vector<std::string>& list,
                                    const std::string& caption, PromptIcon icon,
                                    PromptButtons buttons) {
    QDialog dialog(Owner());
    dialog.setObjectName("ListPrompt");
    dialog.setWindowTitle(Q(caption));
    auto* layout = new QVBoxLayout(&dialog);
    auto* top = new QHBoxLayout;
    const QMessageBox::Icon boxIcon = IconOf(icon);
    if (boxIcon != QMessageBox::NoIcon) {
        const QStyle::StandardPixmap pixmap =
            boxIcon == QMessageBox::Information ? QStyle::SP_MessageBoxInformation
            : boxIcon == QMessageBox::Warning   ? QStyle::SP_MessageBoxWarning
            : boxIcon == QMessageBox::Critical  ? QStyle::SP_MessageBoxCritical
                                                : QStyle::SP_MessageBoxQuestion;
        auto* picture = new QLabel(&dialog);
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        picture->setPixmap(dialog.style()->standardIcon(pixmap).pixmap(size, size));
        picture->setAlignment(Qt::AlignTop);
        top->addWidget(picture);
    }
    auto* label = new QLabel(Q(PlainLines(text)), &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    top->addWidget(label, 1);
    layout->addLayout(top);
    auto* lines = new QListWidget(&dialog);
    lines->setObjectName("DifferencesList");
    for (const std::string& line : list)
        lines->addItem(Q(line));
    lines->setSelectionMode(QAbstractItemView::NoSelection);
    lines->setMinimumWidth(560);
    lines->setMinimumHeight(std::min<int>(12, std::max<int>(3, static_cast<int>(list.size()))) *
                                lines->fontMetrics().height() +
                            12);
    layout->addWidget(lines, 1);
    const ButtonSet set = ButtonsOf(buttons);
    auto* box = new QDialogButtonBox(QDialogButtonBox::StandardButtons(int(set.buttons)), &dialog);
    int answer = set.escapeButton;
    QObject::connect(box, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton* button) {
        answer = box->standardButton(button);
        dialog.accept();
    });
    if (QPushButton* preferred =
            box->button(static_cast<QDialogButtonBox::StandardButton>(int(set.defaultButton))))
        preferred->setDefault(true);
    layout->addWidget(box);
    dialog.exec();
    return AnswerOf(answer);
}

std::string QtPrompts::InputBox(const std::string& caption, const std::string& prompt,
                                const std::string& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(Owner(), Q(caption), Q(prompt), QLineEdit::Normal, Q(initial), &ok);
    return ok ? text.toStdString() : initial;
}

std::optional<std::string> QtPrompts::OpenFileName(const host::FileDialogOptions& options) {
    return RunFileDialog(Owner(), options, false);
}

std::optional<std::string> QtPrompts::SaveFileName(const host::FileDialogOptions& options) {
    return RunFileDialog(Owner(), options, true);
}

} // namespace vantrel::ui
