#include "ui/ConfigForm.h"

#include "common/Device.h"
#include "editor/ControlTable.h"
#include "editor/Form.h"
#include "modbus/Bus.h"
#include "ui/ModConfigForm.h"
#include "ui/ModbusBar.h"
#include "ui/PanelBar.h"
#include "ui/QtPrompts.h"
#include "ui/StartUpForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace vantrel::ui {

using editor::Control;
using editor::ControlKind;

namespace {

constexpr const char* kTitle = "Vantrel";
constexpr int kPageColumns = 3;
constexpr int kGroupColumns = 2;
constexpr int kRadioRowsPerColumn = 7;
constexpr int kTabHeight = 22;
// The status bar's panels, as the window's "About..." rule counts them.
constexpr const int* kStatusWidths = editor::kStatusPanelWidths;
constexpr int kProgressWidth = 160;
const QColor kHighlight(160, 0, 0);
const QColor kTabHighlight(0, 70, 160);

// Display formats of the pickers.
struct PickerFormat {
    const char* control;
    const char* format;
};
constexpr PickerFormat kPickerFormats[] = {
    {"DataLogDaily1", "HH:mm"},
    {"DataLogDaily2", "HH:mm"},
    {"pickTime", "HH:mm:ss"},
    {"pickDate", "yyyy-MM-dd"},
};

// The main buttons' keys, shown underlined in their captions (Alt + the key). A button that
// changes its caption keeps its key.
struct ButtonKey {
    const char* control;
    char key;
};
constexpr ButtonKey kButtonKeys[] = {
    {"ConnectButton", 'c'}, {"DownloadButton", 'r'},   {"UploadButton", 'w'},
    {"ModbusButton", 'p'},  {"LoadConfigButton", 'l'}, {"SaveConfigButtonNew", 's'},
};

// The caption as the button shows it: its key marked where the letter first stands, at the
// start of a word when it can be.
QString ButtonText(const std::string& control, const std::string& caption) {
    QString text = QString::fromStdString(caption);
    text.replace('&', "&&");
    for (const ButtonKey& k : kButtonKeys) {
        if (control != k.control)
            continue;
        int at = -1;
        for (int i = 0; i < text.size() && at < 0; ++i)
            if (text[i].toLower() == QChar(k.key) && (i == 0 || text[i - 1] == ' '))
                at = i;
        if (at < 0)
            at = text.indexOf(QChar(k.key), 0, Qt::CaseInsensitive);
        if (at >= 0)
            text.insert(at, '&');
    }
    return text;
}

// Headings of the linearisation tables, one per column: the row character, the edit, its
// label, the factor edit, its label. A heading that names a control is that control.
struct RowTableHeadings {
    const char* page;
    const char* caption;
    const char* headings[5];
    const char* headingControl; // the heading shown by a control of the Form, if any
};
constexpr RowTableHeadings kRowTables[] = {
    {"LinearisationSheet",
     " Linearization Entries ",
     {"#", "Frequencies", "Frequency", "M-Factor", nullptr},
     "Label7"},
    {"LinearisationASheet",
     " Linearization Entries ",
     {"#", "Percentages", "Percentage", "M-Factor", "Calculation Factor"},
     nullptr},
};

const RowTableHeadings* RowTableOf(const std::string& page) {
    for (const RowTableHeadings& t : kRowTables)
        if (page == t.page)
            return &t;
    return nullptr;
}

bool IsHeadingControl(const Control& c) {
    const RowTableHeadings* t = RowTableOf(c.page);
    return t && t->headingControl && c.name == t->headingControl;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsNavigation(const Control& c) {
    if (c.kind != ControlKind::Button || c.page.empty())
        return false;
    return c.name == "btnLastPage" || c.name == c.page + "Next" || c.name == c.page + "Prev";
}

bool IsCaptionLabel(const Control& c) {
    return c.kind == ControlKind::Label && EndsWith(c.name, "CaptionLabel");
}

bool IsRowEdit(const Control& c) {
    return c.kind == ControlKind::Edit && c.caption.empty();
}

const char* FormatOf(const std::string& name, const char* fallback) {
    for (const PickerFormat& f : kPickerFormats)
        if (name == f.control)
            return f.format;
    return fallback;
}

// Characters a key stands for, as the Form's key filter takes them.
bool KeyChar(const QKeyEvent* key, char& out) {
    if (key->key() == Qt::Key_Backspace) {
        out = '\b';
        return true;
    }
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    if (text.size() != 1 || !text[0].isPrint())
        return false;
    const char16_t code = text[0].unicode();
    // Beyond Latin-1 nothing the tool stores can be typed; a stand-in that no filter takes.
    out = static_cast<char>(code <= 0xff ? code : 0xbf);
    return true;
}

int EditWidth(const QWidget* w, size_t maxLength) {
    const int chars = maxLength ? static_cast<int>(maxLength) : 8;
    return w->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (chars + 2) + 12;
}

const QString kMarkedStyle = QStringLiteral("background-color: #ffe08a;");

void SetHighlightedLook(QWidget* w, bool on) {
    if (w->property("highlighted").toBool() == on)
        return;
    w->setProperty("highlighted", on);
    QFont f = w->font();
    f.setBold(on);
    w->setFont(f);
    // Only the enabled looks change: a disabled control stays greyed whatever it says.
    const QPalette normal = w->parentWidget() ? w->parentWidget()->palette() : qApp->palette();
    QPalette pal = w->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) {
            pal.setColor(group, role, on ? kHighlight : normal.color(group, role));
        }
    }
    w->setPalette(pal);
}

// A titled frame whose children keep the normal font when the title is highlighted.
void SetTitleHighlighted(QGroupBox* box, bool on) {
    if (box->property("highlighted").toBool() == on)
        return;
    SetHighlightedLook(box, on);
    // The font and colours would pass on to what the box holds; only its title is meant.
    for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setFont(box->parentWidget() ? box->parentWidget()->font() : qApp->font());
        QPalette pal = child->palette();
        const QPalette normal =
            box->parentWidget() ? box->parentWidget()->palette() : qApp->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText})
                pal.setColor(group, role, normal.color(group, role));
        child->setPalette(pal);
    }
}

// Often enough for the progress and the status to read as moving; drawing them more often
// costs more than the run.
constexpr std::chrono::milliseconds kRunPaintInterval{400};

} // namespace

TConfigForm::TConfigForm(editor::Form& form, modbus::TModbus& bus, int splashMs)
    : QMainWindow(nullptr), form_(form), bus_(bus) {
    setObjectName("ConfigForm");
    setWindowTitle(kTitle);
    Build();
    startUp_ = new TStartUpForm(this, Q(ToolVersionText()), splashMs);

    form_.controlChanged = [this](const Control& c) { ShowControl(c); };
    form_.pagesChanged = [this] { ShowPages(); };
    form_.windowChanged = [this] { ShowWindow(); };
    form_.ensureVisible = [this](std::string_view name) { EnsureVisible(std::string(name)); };
    connect(qApp, &QApplication::focusChanged, this, &TConfigForm::FocusChanged);
    paintLater_ = new QTimer(this);
    paintLater_->setSingleShot(true);
    connect(paintLater_, &QTimer::timeout, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest)); });
    ShowAll();
}

TConfigForm::~TConfigForm() {
    form_.controlChanged = nullptr;
    form_.pagesChanged = nullptr;
    form_.windowChanged = nullptr;
    form_.ensureVisible = nullptr;
    // The widgets outlive this object's members by a moment (QWidget deletes its children
    // last); nothing they report then may reach the bindings or the Form.
    disconnect(qApp, nullptr, this, nullptr);
    pages_->blockSignals(true);
    for (const auto& entry : editNames_)
        const_cast<QObject*>(entry.first)->removeEventFilter(this);
}

TModConfigForm* TConfigForm::ModConfigForm() const {
    return modbus_->ModConfigForm();
}

QWidget* TConfigForm::Widget(const std::string& name) const {
    auto it = bindings_.find(name);
    return it == bindings_.end() ? nullptr : it->second.widget;
}

// ---------------------------------------------------------------- building

void TConfigForm::Build() {
    auto* content = new QWidget(this);
    content->setObjectName("ConfigFormContent");
    auto* outer = new QVBoxLayout(content);
    outer->setContentsMargins(4, 4, 4, 0);
    outer->setSpacing(4);
    hidden_ = new QWidget(content);
    hidden_->setObjectName("HiddenControls");
    hidden_->hide();

    // The button row above the pages.
    auto* row = new QHBoxLayout;
    for (const Control& c : form_.Controls())
        if (c.page.empty())
            row->addWidget(MakeButton(c, content));
    row->addStretch(1);
    outer->addLayout(row);

    statusBar_ = new PanelBar(content);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setMouseTracking(true);
    statusBar_->SetPanels({{kStatusWidths[0], Qt::AlignLeft, {}, true},
                           {kStatusWidths[1], Qt::AlignLeft, {}, true},
                           {kStatusWidths[2], Qt::AlignHCenter, {}, true}});
    // The status text is what the user reads; it takes the spare width, not "About...".
    statusBar_->SetStretch(1);
    // The progress of a bulk run sits beside the panels while the run works.
    progress_ = new QProgressBar(content);
    progress_->setObjectName("ProgressBar1");
    progress_->setFixedWidth(kProgressWidth);
    progress_->setFixedHeight(statusBar_->sizeHint().height());
    progress_->setTextVisible(true);
    progress_->setFormat("%v / %m");
    progress_->hide();
    // The window is disabled while a run works; the bar that shows the run keeps its colours.
    QPalette progressPalette = progress_->palette();
    for (QPalette::ColorRole role :
         {QPalette::Highlight, QPalette::HighlightedText, QPalette::Text, QPalette::WindowText,
          QPalette::Base, QPalette::Window, QPalette::Button, QPalette::ButtonText})
        progressPalette.setColor(QPalette::Disabled, role,
                                 progressPalette.color(QPalette::Active, role));
    progress_->setPalette(progressPalette);
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(2);
    statusRow->addWidget(statusBar_, 1);
    statusRow->addWidget(progress_);
    outer->addLayout(statusRow);
    connect(statusBar_, &PanelBar::mouseMoved, this, &TConfigForm::StatusBarMouse);
    connect(statusBar_, &PanelBar::mousePressed, this, &TConfigForm::StatusBarMouse);
    connect(statusBar_, &PanelBar::mouseReleased, this, &TConfigForm::StatusBarMouse);
    connect(statusBar_, &PanelBar::clicked, this, [this] { form_.StatusBar1Click(); });

    pages_ = new QTabWidget(content);
    pages_->setObjectName("PageControl1");
    pages_->tabBar()->setMinimumHeight(kTabHeight);
    pages_->setUsesScrollButtons(true);
    for (const editor::Page& page : form_.Pages())
        pages_->addTab(BuildPage(page), Q(page.caption));
    outer->addWidget(pages_, 1);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index != form_.ActivePage())
            form_.SelectPage(index);
        FocusOpenedPage(nullptr);
    });

    modbus_ = new TModbus(bus_, content);
    outer->addWidget(modbus_);

    setCentralWidget(content);
    resize(1040, 640);
    setMinimumSize(kStatusWidths[0] + kStatusWidths[1] + kStatusWidths[2] + 8, 480);
}

QWidget* TConfigForm::BuildPage(const editor::Page& page) {
    auto* sheet = new QWidget;
    sheet->setObjectName(Q(page.name));
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(6, 6, 6, 6);

    auto* scroll = new QScrollArea(sheet);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* body = new QWidget(scroll);
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    scroll->setWidget(body);
    layout->addWidget(scroll, 1);

    std::vector<const Control*> list;
    for (const Control& c : form_.Controls())
        if (c.page == page.name && c.group.empty())
            list.push_back(&c);
    std::vector<QPushButton*> navigation;
    stretched_ = false;
    LayOut(list, body, grid, kPageColumns, &navigation);
    for (int col = 0; col < kPageColumns; ++col)
        grid->setColumnStretch(col, 1);
    if (!stretched_)
        grid->setRowStretch(grid->rowCount(), 1);

    if (!navigation.empty()) {
        auto* nav = new QHBoxLayout;
        // "Previous page" on the left, "Next page" and "Finish" on the right.
        for (QPushButton* b : navigation)
            if (b->objectName().endsWith("Prev"))
                nav->addWidget(b);
        nav->addStretch(1);
        for (QPushButton* b : navigation)
            if (!b->objectName().endsWith("Prev"))
                nav->addWidget(b);
        layout->addLayout(nav);
    }
    OrderTabs(sheet);
    return sheet;
}

namespace {

// The widgets a layout holds, in reading order: a grid row by row, each row left to right.
std::vector<QLayoutItem*> InReadingOrder(QLayout* layout) {
    std::vector<std::pair<std::pair<int, int>, QLayoutItem*>> items;
    auto* grid = qobject_cast<QGridLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        int row = i, col = 0;
        if (grid) {
            int rowSpan = 0, colSpan = 0;
            grid->getItemPosition(i, &row, &col, &rowSpan, &colSpan);
        }
        items.push_back({{row, col}, layout->itemAt(i)});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QLayoutItem*> ordered;
    for (const auto& item : items)
        ordered.push_back(item.second);
    return ordered;
}

} // namespace

void TConfigForm::OrderTabs(QWidget* page) {
    // Tab goes through a page as it reads, grid cell by grid cell, not in the order the
    // widgets were made (hidden-at-first controls, fields with their buttons).
    std::vector<QWidget*> chain;
    std::function<void(QLayout*)> collect;
    std::function<void(QWidget*)> take = [&](QWidget* w) {
        auto it = bindings_.find(w->objectName().toStdString());
        if (it != bindings_.end() && it->second.widget == w && it->second.buttons) {
            for (QAbstractButton* radio : it->second.buttons->buttons())
                chain.push_back(radio);
            return;
        }
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            if (area->widget() && area->widget()->layout())
                collect(area->widget()->layout());
            return;
        }
        if (w->layout()) {
            collect(w->layout());
            return;
        }
        if (w->focusPolicy() & Qt::TabFocus)
            chain.push_back(w);
    };
    collect = [&](QLayout* layout) {
        for (QLayoutItem* item : InReadingOrder(layout)) {
            if (QWidget* w = item->widget())
                take(w);
            else if (QLayout* inner = item->layout())
                collect(inner);
        }
    };
    if (page->layout())
        collect(page->layout());
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TConfigForm::LayOut(const std::vector<const Control*>& list, QWidget* parent,
                         QGridLayout* grid, int columns, std::vector<QPushButton*>* navigation) {
    int row = 0, col = 0;
    auto place = [&](QWidget* w, bool fullWidth, const Control* c) {
        if (c && !c->visible && !fullWidth) {
            // Hidden by design (the radio groups behind the unit buttons): kept off the grid
            // so that they leave no gap.
            w->setParent(hidden_);
            bindings_[c->name].grid = grid;
            return;
        }
        if (fullWidth) {
            if (col != 0) {
                ++row;
                col = 0;
            }
            grid->addWidget(w, row++, 0, 1, columns);
            return;
        }
        grid->addWidget(w, row, col, Qt::AlignTop);
        if (++col == columns) {
            col = 0;
            ++row;
        }
    };

    for (size_t i = 0; i < list.size();) {
        const Control& c = *list[i];
        if (navigation && IsNavigation(c)) {
            navigation->push_back(MakeButton(c, parent));
            ++i;
            continue;
        }
        if (IsHeadingControl(c)) {
            ++i; // shown above its column of the row table
            continue;
        }
        switch (c.kind) {
        case ControlKind::RadioGroup:
        case ControlKind::UnitButtons:
            place(MakeRadioGroup(c, parent), false, &c);
            ++i;
            break;
        case ControlKind::Edit:
        case ControlKind::TimePicker:
        case ControlKind::DatePicker:
            if (IsRowEdit(c)) {
                size_t j = i;
                std::vector<const Control*> run;
                while (j < list.size() &&
                       (IsRowEdit(*list[j]) || list[j]->kind == ControlKind::Label))
                    run.push_back(list[j++]);
                place(MakeRowTable(run, parent), true, nullptr);
                // The table takes the height the page has left; it scrolls by itself.
                grid->setRowStretch(row - 1, 1);
                stretched_ = true;
                i = j;
            } else {
                // The value and unit labels and the button that follow a field belong to it.
                size_t j = i + 1;
                std::vector<const Control*> extras;
                while (j < list.size() &&
                       ((list[j]->kind == ControlKind::Label && !IsCaptionLabel(*list[j])) ||
                        (list[j]->kind == ControlKind::Button && !IsNavigation(*list[j]))))
                    extras.push_back(list[j++]);
                place(MakeField(c, extras, parent), false, nullptr);
                i = j;
            }
            break;
        case ControlKind::Label:
            if (IsCaptionLabel(c)) {
                size_t j = i;
                std::vector<const Control*> run;
                while (j < list.size() && list[j]->kind == ControlKind::Label)
                    run.push_back(list[j++]);
                place(MakeLabelGrid(run, parent), false, nullptr);
                i = j;
            } else {
                place(MakeLabel(c, parent), true, nullptr);
                ++i;
            }
            break;
        case ControlKind::Button: {
            size_t j = i;
            std::vector<const Control*> run;
            while (j < list.size() && list[j]->kind == ControlKind::Button &&
                   !(navigation && IsNavigation(*list[j])))
                run.push_back(list[j++]);
            place(MakeButtonColumn(run, parent), false, nullptr);
            i = j;
            break;
        }
        case ControlKind::ComboBox:
            place(MakeCombo(c, parent), false, nullptr);
            ++i;
            break;
        case ControlKind::GroupBox:
            place(MakeGroupBox(c, parent), false, nullptr);
            ++i;
            break;
        }
    }
}

QWidget* TConfigForm::MakeRadioGroup(const Control& c, QWidget* parent) {
    auto* box = new QGroupBox(Q(c.caption), parent);
    box->setObjectName(Q(c.name));
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    Binding& b = bindings_[c.name];
    b.widget = box;
    b.frame = box;
    b.titled = box;
    b.buttons = new QButtonGroup(box);
    const std::string name = c.name;
    connect(b.buttons, &QButtonGroup::idClicked, this, [this, name](int id) {
        form_.UserSelect(name, id);
        // The Form may refuse the choice; the buttons show the one it holds.
        ShowControl(form_[name]);
    });
    FillRadioButtons(c, b);
    return box;
}

void TConfigForm::FillRadioButtons(const Control& c, Binding& b) {
    auto* box = static_cast<QGroupBox*>(b.widget);
    auto* grid = static_cast<QGridLayout*>(box->layout());
    for (QAbstractButton* old : b.buttons->buttons()) {
        b.buttons->removeButton(old);
        delete old;
    }
    const int count = static_cast<int>(c.items.size());
    const int columns = std::max(1, (count + kRadioRowsPerColumn - 1) / kRadioRowsPerColumn);
    const int rows = (count + columns - 1) / std::max(columns, 1);
    for (int i = 0; i < count; ++i) {
        auto* radio = new QRadioButton(Q(c.items[static_cast<size_t>(i)]), box);
        radio->setObjectName(Q(c.name + "Item" + std::to_string(i)));
        if (i < static_cast<int>(c.tags.size()))
            radio->setProperty("UnitTag", c.tags[static_cast<size_t>(i)]);
        b.buttons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    b.items = c.items;
}

QWidget* TConfigForm::MakeValueWidget(const Control& c, QWidget* parent) {
    Binding& b = bindings_[c.name];
    const std::string name = c.name;
    switch (c.kind) {
    case ControlKind::TimePicker: {
        auto* time = new QTimeEdit(parent);
        time->setObjectName(Q(c.name));
        time->setDisplayFormat(FormatOf(c.name, "HH:mm:ss"));
        connect(time, &QTimeEdit::timeChanged, this, [this, name](QTime t) {
            form_.SetTime(name, {t.hour(), t.minute(), t.second()});
        });
        b.widget = time;
        return time;
    }
    case ControlKind::DatePicker: {
        auto* date = new QDateEdit(parent);
        date->setObjectName(Q(c.name));
        date->setDisplayFormat(FormatOf(c.name, "yyyy-MM-dd"));
        date->setCalendarPopup(true);
        connect(date, &QDateEdit::dateChanged, this, [this, name](QDate d) {
            form_.SetDate(name, {d.year(), d.month(), d.day()});
        });
        b.widget = date;
        return date;
    }
    default: {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(Q(c.name));
        edit->setFixedWidth(EditWidth(edit, c.maxLength));
        BindEdit(c, edit);
        b.widget = edit;
        return edit;
    }
    }
}

void TConfigForm::BindEdit(const Control& c, QLineEdit* edit) {
    const std::string name = c.name;
    editNames_[edit] = name;
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this,
            [this, name](const QString& text) { TextEdited(name, text); });
}

QWidget* TConfigForm::MakeField(const Control& c, const std::vector<const Control*>& extras,
                                QWidget* parent) {
    auto* box = new QGroupBox(Q(c.caption), parent);
    box->setObjectName(Q(c.name + "Frame"));
    auto* line = new QHBoxLayout(box);
    line->addWidget(MakeValueWidget(c, box));
    for (const Control* extra : extras) {
        if (extra->kind == ControlKind::Label)
            line->addWidget(MakeLabel(*extra, box));
        else
            line->addWidget(MakeButton(*extra, box));
    }
    line->addStretch(1);
    Binding& b = bindings_[c.name];
    b.frame = box;
    b.titled = box;
    return box;
}

QWidget* TConfigForm::MakeRowTable(const std::vector<const Control*>& run, QWidget* parent) {
    // The linearisation rows: one line per row character, its edits and labels side by side,
    // under the column headings, in a box that scrolls.
    const RowTableHeadings* headings = run.empty() ? nullptr : RowTableOf(run.front()->page);
    auto* box = new QGroupBox(headings ? headings->caption : "", parent);
    auto* boxLayout = new QVBoxLayout(box);
    auto* scroll = new QScrollArea(box);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* table = new QWidget(scroll);
    auto* grid = new QGridLayout(table);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    scroll->setWidget(table);
    boxLayout->addWidget(scroll);

    if (headings) {
        for (int col = 0; col < 5; ++col) {
            QLabel* heading = nullptr;
            if (headings->headings[col]) {
                heading = new QLabel(headings->headings[col], table);
            } else if (headings->headingControl) {
                for (const Control& c : form_.Controls())
                    if (c.name == headings->headingControl)
                        heading = MakeLabel(c, table);
            }
            if (!heading)
                continue;
            QFont f = heading->font();
            f.setBold(true);
            heading->setFont(f);
            grid->addWidget(heading, 0, col);
        }
    }
    int row = 0, col = 0;
    char suffix = 0;
    for (const Control* c : run) {
        if (IsRowEdit(*c) && c->name.back() != suffix) {
            suffix = c->name.back();
            ++row;
            col = 1;
            auto* character = new QLabel(QString(QChar(suffix)), table);
            grid->addWidget(character, row, 0);
        }
        QWidget* w = IsRowEdit(*c) ? MakeValueWidget(*c, table) : MakeLabel(*c, table);
        if (!IsRowEdit(*c))
            w->setMinimumWidth(100);
        bindings_[c->name].frame = w;
        grid->addWidget(w, std::max(row, 1), col++);
    }
    grid->setColumnStretch(grid->columnCount(), 1);
    grid->setRowStretch(row + 1, 1);
    return box;
}

QWidget* TConfigForm::MakeLabelGrid(const std::vector<const Control*>& run, QWidget* parent) {
    // Read-outs: a caption label starts a line, the value and unit labels follow it.
    auto* box = new QWidget(parent);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(8);
    int row = -1, col = 0;
    QHBoxLayout* units = nullptr; // the unit and interval labels after a line's value
    for (size_t i = 0; i < run.size(); ++i) {
        const Control* c = run[i];
        if (IsCaptionLabel(*c) || row < 0) {
            ++row;
            col = 0;
            units = nullptr;
        }
        QLabel* label = MakeLabel(*c, box);
        if (col >= 2) {
            // One cell for them, so that "mL / Sec" reads as one unit whatever the width of
            // the other lines' units.
            if (!units) {
                units = new QHBoxLayout;
                units->setSpacing(2);
                units->addStretch(1);
                grid->addLayout(units, row, 2);
            }
            units->insertWidget(units->count() - 1, label);
            ++col;
            continue;
        }
        if (col == 1) {
            label->setMinimumWidth(110);
            QFont f = label->font();
            f.setBold(true);
            label->setFont(f);
            // A number lines up with the others at the right; a status text with nothing
            // after it in its line reads from the left over the unit columns.
            const bool alone = i + 1 == run.size() || IsCaptionLabel(*run[i + 1]);
            if (alone) {
                label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                grid->addWidget(label, row, col, 1, 2);
                col += 2;
                continue;
            }
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        grid->addWidget(label, row, col++);
    }
    grid->setColumnStretch(3, 1);
    return box;
}

QLabel* TConfigForm::MakeLabel(const Control& c, QWidget* parent) {
    auto* label = new QLabel(Q(PlainLines(c.text)), parent);
    label->setObjectName(Q(c.name));
    // Long texts (the HOME page's help) wrap to the page's width.
    label->setWordWrap(c.text.size() > 60 || c.name == "ModelLabel");
    Binding& b = bindings_[c.name];
    b.widget = label;
    b.frame = label;
    return label;
}

QPushButton* TConfigForm::MakeButton(const Control& c, QWidget* parent) {
    auto* button = new QPushButton(ButtonText(c.name, c.caption), parent);
    button->setObjectName(Q(c.name));
    const std::string name = c.name;
    connect(button, &QPushButton::clicked, this, [this, name] { form_.Click(name); });
    button->installEventFilter(this); // Return presses it, as Space does
    Binding& b = bindings_[c.name];
    b.widget = button;
    b.frame = button;
    return button;
}

QWidget* TConfigForm::MakeButtonColumn(const std::vector<const Control*>& run, QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 6, 0, 0);
    for (const Control* c : run) {
        QPushButton* button = MakeButton(*c, column);
        button->setMinimumWidth(160);
        layout->addWidget(button, 0, Qt::AlignLeft);
    }
    layout->addStretch(1);
    return column;
}

QWidget* TConfigForm::MakeCombo(const Control& c, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(Q(c.name));
    combo->setMinimumWidth(140);
    const std::string name = c.name;
    connect(combo, qOverload<int>(&QComboBox::activated), this,
            [this, name](int i) { form_.UserSelect(name, i); });
    Binding& b = bindings_[c.name];
    b.widget = combo;
    b.frame = combo;
    return combo;
}

QWidget* TConfigForm::MakeGroupBox(const Control& c, QWidget* parent) {
    auto* box = new QGroupBox(Q(c.caption), parent);
    box->setObjectName(Q(c.name));
    auto* grid = new QGridLayout(box);
    std::vector<const Control*> members;
    for (const Control& m : form_.Controls())
        if (m.group == c.name)
            members.push_back(&m);
    LayOut(members, box, grid, kGroupColumns, nullptr);
    Binding& b = bindings_[c.name];
    b.widget = box;
    b.frame = box;
    b.titled = box;
    return box;
}

// ---------------------------------------------------------------- Form -> widgets

void TConfigForm::ShowAll() {
    for (const Control& c : form_.Controls())
        ShowControl(c);
    ShowPages();
    ShowWindow();
}

void TConfigForm::ShowControl(const Control& c) {
    auto it = bindings_.find(c.name);
    if (it == bindings_.end())
        return;
    Binding& b = it->second;
    QWidget* w = b.widget;
    const QSignalBlocker blocker(w);

    switch (c.kind) {
    case ControlKind::RadioGroup:
    case ControlKind::UnitButtons: {
        if (b.items != c.items)
            FillRadioButtons(c, b);
        const QSignalBlocker groupBlocker(b.buttons);
        if (QAbstractButton* on = b.buttons->button(c.itemIndex)) {
            on->setChecked(true);
        } else if (QAbstractButton* checked = b.buttons->checkedButton()) {
            // No choice: an exclusive group cannot uncheck its last button by itself.
            b.buttons->setExclusive(false);
            checked->setChecked(false);
            b.buttons->setExclusive(true);
        }
        const auto radios = b.buttons->buttons();
        for (QAbstractButton* radio : radios) {
            const size_t i = static_cast<size_t>(b.buttons->id(radio));
            radio->setEnabled(i >= c.itemsEnabled.size() || c.itemsEnabled[i]);
        }
        b.titled->setTitle(Q(c.caption));
        break;
    }
    case ControlKind::Edit: {
        auto* edit = static_cast<QLineEdit*>(w);
        edit->setMaxLength(c.maxLength ? static_cast<int>(c.maxLength) : 32767);
        if (edit->isReadOnly() != c.readOnly || !edit->property("lookSet").toBool()) {
            edit->setReadOnly(c.readOnly);
            // A field the user cannot type into does not look like one that takes input.
            QPalette pal = edit->palette();
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
                pal.setColor(group, QPalette::Base,
                             c.readOnly ? palette().color(group, QPalette::Window)
                                        : QApplication::palette().color(group, QPalette::Base));
            edit->setPalette(pal);
            edit->setProperty("lookSet", true);
        }
        if (edit->text() != Q(c.text))
            edit->setText(Q(c.text));
        break;
    }
    case ControlKind::TimePicker:
        static_cast<QTimeEdit*>(w)->setTime(QTime(c.time.hour, c.time.minute, c.time.second));
        break;
    case ControlKind::DatePicker:
        static_cast<QDateEdit*>(w)->setDate(QDate(c.date.year, c.date.month, c.date.day));
        break;
    case ControlKind::Button:
        static_cast<QPushButton*>(w)->setText(ButtonText(c.name, c.caption));
        break;
    case ControlKind::Label:
        static_cast<QLabel*>(w)->setText(Q(PlainLines(c.text)));
        break;
    case ControlKind::ComboBox: {
        auto* combo = static_cast<QComboBox*>(w);
        bool same = combo->count() == static_cast<int>(c.items.size());
        for (int i = 0; same && i < combo->count(); ++i)
            same = combo->itemText(i) == Q(c.items[static_cast<size_t>(i)]);
        if (!same) {
            combo->clear();
            for (const std::string& item : c.items)
                combo->addItem(Q(item));
        }
        combo->setCurrentIndex(c.itemIndex);
        break;
    }
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(w)->setTitle(Q(c.caption));
        break;
    }
    if (b.titled && c.kind != ControlKind::RadioGroup && c.kind != ControlKind::UnitButtons &&
        c.kind != ControlKind::GroupBox)
        b.titled->setTitle(Q(c.caption));

    w->setEnabled(c.enabled);
    if (b.frame && b.frame->parentWidget() == hidden_ && c.visible && b.grid) {
        // A control hidden from the start is shown after all: it goes to the end of its grid.
        b.grid->addWidget(b.frame, b.grid->rowCount(), 0, Qt::AlignTop);
        for (QWidget* p = b.frame->parentWidget(); p; p = p->parentWidget())
            if (p->parentWidget() && p->parentWidget()->parentWidget() == pages_) {
                OrderTabs(p);
                break;
            }
    }
    if (b.frame)
        b.frame->setVisible(c.visible);
    if (b.titled)
        SetTitleHighlighted(b.titled, c.highlighted);
    else
        SetHighlightedLook(w, c.highlighted);
    // A value that differs in the last comparison stands out on its page until the next
    // read or load.
    QWidget* marked = b.titled ? static_cast<QWidget*>(b.titled) : w;
    if (marked->property("marked").toBool() != c.marked) {
        marked->setProperty("marked", c.marked);
        marked->setStyleSheet(c.marked ? kMarkedStyle : QString());
    }
}

void TConfigForm::ShowPages() {
    const QSignalBlocker blocker(pages_);
    const auto& pages = form_.Pages();
    for (int i = 0; i < static_cast<int>(pages.size()); ++i) {
        const editor::Page& page = pages[static_cast<size_t>(i)];
        // Either call lays out and redraws the whole tab bar, also when nothing changes;
        // a run tells the pages many times over.
        if (pages_->isTabVisible(i) != page.visible)
            pages_->setTabVisible(i, page.visible);
        const QColor colour =
            page.highlighted ? kTabHighlight : palette().color(QPalette::WindowText);
        if (pages_->tabBar()->tabTextColor(i) != colour)
            pages_->tabBar()->setTabTextColor(i, colour);
    }
    if (pages_->currentIndex() != form_.ActivePage()) {
        QWidget* before = pages_->currentWidget();
        pages_->setCurrentIndex(form_.ActivePage());
        FocusOpenedPage(before);
    }
}

void TConfigForm::FocusOpenedPage(QWidget* before) {
    // Qt hands the focus to the first control of a page whose tab opens, when the focus was
    // on the page left. On a radio group an arrow key would then change a value the user
    // never looked at, so the page itself takes the focus; Tab goes on to its first control.
    QWidget* page = pages_->currentWidget();
    QWidget* focus = QApplication::focusWidget();
    if (!page || !focus || focus == page)
        return;
    if (page->isAncestorOf(focus) || (before && before->isAncestorOf(focus)))
        page->setFocus(Qt::TabFocusReason);
}

void TConfigForm::ShowWindow() {
    for (int i = 0; i < 3; ++i)
        statusBar_->SetText(i, Q(form_.statusPanels[i]));
    if (form_.progressTotal > 0) {
        if (progress_->maximum() != form_.progressTotal)
            progress_->setRange(0, form_.progressTotal);
        // QProgressBar repaints at once on every new value; a run's many steps are drawn
        // with the rest of the window's changes instead, in one pass.
        progress_->setUpdatesEnabled(false);
        progress_->setValue(form_.progressDone);
        progress_->setUpdatesEnabled(true);
    }
    progress_->setVisible(form_.progressTotal > 0);
    centralWidget()->setEnabled(form_.enabled);
    ApplyFocus();
}

void TConfigForm::EnsureVisible(const std::string& name) {
    QWidget* target = Widget(name);
    if (!target)
        return;
    // Every scrolling box around it scrolls, the innermost first (the linearisation table
    // inside its page).
    for (QWidget* w = target->parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w))
            area->ensureWidgetVisible(target);
}

void TConfigForm::ApplyFocus() {
    // A run disables the window (which drops the focus) and ends on another page than the one
    // it worked on last: the page shown takes the focus, so that keys neither go nowhere nor
    // into a field of a page no longer shown.
    QWidget* current = QApplication::focusWidget();
    const bool lost = current ? current->window() == this && !current->isVisible()
                              : QApplication::activeWindow() == this;
    if (lost && form_.enabled && pages_->currentWidget())
        pages_->currentWidget()->setFocus(Qt::OtherFocusReason);
    const std::string& name = form_.Focused();
    auto it = bindings_.find(name);
    if (name.empty() || it == bindings_.end() || ControlOf(QApplication::focusWidget()) == name)
        return;
    QWidget* target = it->second.widget;
    if (it->second.buttons) {
        QAbstractButton* checked = it->second.buttons->checkedButton();
        target = checked ? checked : it->second.buttons->buttons().value(0, nullptr);
    }
    if (!target || !target->isVisible())
        return;
    applyingFocus_ = true;
    target->setFocus(Qt::OtherFocusReason);
    applyingFocus_ = false;
}

// ---------------------------------------------------------------- widgets -> Form

std::string TConfigForm::ControlOf(QWidget* widget) const {
    for (QWidget* w = widget; w && w != this; w = w->parentWidget()) {
        const std::string name = w->objectName().toStdString();
        auto it = bindings_.find(name);
        if (it != bindings_.end() && it->second.widget == w)
            return name;
    }
    return {};
}

void TConfigForm::FocusChanged(QWidget*, QWidget* now) {
    // Only moves inside this window count: a dialog taking the focus is no exit.
    if (applyingFocus_ || !now || now->window() != this)
        return;
    form_.SetFocus(ControlOf(now));
}

void TConfigForm::TextEdited(const std::string& name, const QString& text) {
    std::string value = text.toStdString();
    if (!typedKey_) {
        // Pasted, dropped or undone: what was inserted passes the key filter one character
        // at a time, as typing it would.
        const std::string before = form_[name].text;
        size_t prefix = 0;
        while (prefix < before.size() && prefix < value.size() && before[prefix] == value[prefix])
            ++prefix;
        size_t suffix = 0;
        while (suffix < before.size() - prefix && suffix < value.size() - prefix &&
               before[before.size() - 1 - suffix] == value[value.size() - 1 - suffix])
            ++suffix;
        std::string kept = value.substr(0, prefix);
        for (size_t i = prefix; i < value.size() - suffix; ++i)
            if (form_.KeyPress(name, value[i]))
                kept += value[i];
        kept += value.substr(value.size() - suffix);
        value = kept;
    }
    form_.UserEdit(name, value);
    // The Form may have cut or refused the text; the edit shows what it kept.
    ShowControl(form_[name]);
}

bool TConfigForm::event(QEvent* event) {
    // A run changes the window at every transaction (the worker's state, the last result, the
    // progress, the field just read), and drawing each change costs far more than the run
    // itself. While it holds the window, what changed is drawn at most every kRunPaintInterval:
    // a request held back keeps its region dirty, and the timer asks for it again.
    if (event->type() == QEvent::UpdateRequest && !form_.enabled) {
        const auto now = std::chrono::steady_clock::now();
        const auto wait = lastPaint_ + kRunPaintInterval - now;
        if (wait.count() > 0) {
            if (!paintLater_->isActive())
                paintLater_->start(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
            return true;
        }
        lastPaint_ = now;
    }
    return QMainWindow::event(event);
}

bool TConfigForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter) &&
            !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            if (button->isEnabled() && button->isVisible())
                button->animateClick();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress) {
        // A click into an edit is an event of its own for the rules (a "0" cleared for typing).
        auto it = editNames_.find(watched);
        if (it != editNames_.end()) {
            const std::string name = it->second;
            QMainWindow::eventFilter(watched, event);
            form_.Click(name);
            ShowControl(form_[name]);
            return false;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto it = editNames_.find(watched);
        if (it != editNames_.end() && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
            !static_cast<QLineEdit*>(watched)->isReadOnly())
            form_.UserTouch(it->second); // an edit's key, whether or not there was text to delete
        if (it != editNames_.end()) {
            char key = 0;
            if (KeyChar(static_cast<QKeyEvent*>(event), key)) {
                if (!form_.KeyPress(it->second, key))
                    return true; // dropped, as the key filter says
                // Let the edit take the key now, so that the text change it makes is known
                // to come from a key the filter has already seen.
                typedKey_ = true;
                watched->event(event);
                typedKey_ = false;
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TConfigForm::StatusBarMouse(QPoint at) {
    form_.StatusBar1MouseMove(at.x(), at.y(), statusBar_->width(), statusBar_->height());
    statusBar_->setCursor(form_.AboutHot ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TConfigForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        form_.FormShow();
    }
}

void TConfigForm::closeEvent(QCloseEvent* event) {
    form_.FormClose();
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program, dialogs still open or not.
    QCoreApplication::quit();
}

} // namespace vantrel::ui
