// The whole window, shown and active so that the keyboard focus really moves, against a
// simulated unit holding values the editing rules would correct if a user typed them: after
// Read device every control shows what the unit holds, and a user who only browses (tabs,
// Next page, clicks into fields, Tab, arrow keys on an opened page) changes no value, no
// status text and no operator value. What the user types is still corrected.

#include "editor/Form.h"
#include "tests/config/HeldValues.h"
#include "tests/gui/SimProgram.h"
#include "ui/ConnectionDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <map>

using namespace vantrel;

namespace {

class UnitValuesGui : public test::SimProgramTest {
protected:
    editor::Form& Form() { return program->Form(); }
    ui::TConfigForm& Window() { return program->Window(); }
    template <typename T> T* Find(const std::string& name) {
        return Window().findChild<T*>(QString::fromStdString(name));
    }

    // Shown, connected (popups off: the read follows at once) and active.
    void ReadHeldUnit(const test::HeldUnit& held) {
        sim::UnitOptions options;
        options.model = held.model;
        options.logger = held.logger;
        StartProgram(options, false);
        ASSERT_FALSE(HasFatalFailure());
        unit->UseManualClock(true);
        unit->SetFlowProfile(12345, 0, 1.0); // operator values that stand still
        unit->SetTotals(9876543, 4321);
        ASSERT_TRUE(test::Hold(*unit, held));
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
        // A model outside the list is configured as what it is through "Configure as".
        const QString name = QString::fromUtf8(held.name);
        WhenShown<ui::ConnectionDialog>("TConnectionForm", [name](ui::ConnectionDialog& d) {
            auto* units = d.findChild<QComboBox*>("cbUnitSelect");
            const int index = units->findText(name);
            units->setCurrentIndex(index);
            emit units->activated(index);
            QTest::mouseClick(d.findChild<QPushButton*>("btnConnectUnitAs"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>("ConnectButton"), Qt::LeftButton);
        ASSERT_EQ(Form().statusPanels[1], " Status: values were read correctly from the device.");
        Window().activateWindow(); // again, after the dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }

    std::map<std::string, std::string> Values() {
        std::map<std::string, std::string> values;
        for (const editor::Control& c : Form().Controls())
            values[c.name] = c.text + "|" + std::to_string(c.itemIndex);
        return values;
    }
    std::map<std::string, QString> Shown() {
        std::map<std::string, QString> shown;
        for (const editor::Control& c : Form().Controls()) {
            QWidget* w = Window().Widget(c.name);
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                shown[c.name] = edit->text();
            else if (auto* label = qobject_cast<QLabel*>(w))
                shown[c.name] = label->text();
        }
        return shown;
    }
    // The page's edits that are controls of the window (not the pickers' inner fields).
    std::vector<QLineEdit*> Fields(QWidget* page) {
        std::vector<QLineEdit*> fields;
        for (QLineEdit* edit : page->findChildren<QLineEdit*>())
            if (Form().Has(edit->objectName().toStdString()))
                fields.push_back(edit);
        return fields;
    }
    void ClickField(QLineEdit* edit) {
        for (QWidget* w = edit->parentWidget(); w; w = w->parentWidget())
            if (auto* area = qobject_cast<QScrollArea*>(w))
                area->ensureWidgetVisible(edit);
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
    }
    void ClickTab(int index) {
        QTabBar* bar = Window().PageControl1()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
};

} // namespace

TEST_F(UnitValuesGui, ReadShowsWhatTheUnitHoldsAndBrowsingChangesNothing) {
    for (const test::HeldUnit& held : test::HeldUnits()) {
        SCOPED_TRACE(held.name);
        TearDown();
        ReadHeldUnit(held);
        ASSERT_FALSE(HasFatalFailure());
        for (const test::HeldValue& v : held.values) {
            EXPECT_EQ(Form()[v.control].text, v.shown) << v.control;
            EXPECT_EQ(Find<QLineEdit>(v.control)->text().toStdString(), v.shown) << v.control;
        }
        ClickTab(Form().PageIndex("RuntimeSheet"));
        const std::string flowrate = Form()["FlowrateValueLabel"].text;
        EXPECT_NE(flowrate.find_first_not_of("0.,"), std::string::npos)
            << "the unit's flow rate, not a zero: " << flowrate;

        const auto values = Values();
        const auto shown = Shown();
        const std::string status = Form().statusPanels[1];
        QTabWidget* tabs = Window().PageControl1();
        int fieldsFocused = 0;
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i))
                continue;
            // The focus in a field of the page shown, as after working on it; then the tab.
            for (QLineEdit* edit : Fields(tabs->currentWidget()))
                if (edit->isVisible() && edit->isEnabled()) {
                    ClickField(edit);
                    break;
                }
            ClickTab(i);
            ASSERT_EQ(tabs->currentIndex(), i);
            // The page has the focus, not its first choice: arrow keys change nothing.
            QWidget* focus = QApplication::focusWidget();
            EXPECT_EQ(qobject_cast<QRadioButton*>(focus), nullptr)
                << tabs->widget(i)->objectName().toStdString() << " gave the focus to "
                << focus->objectName().toStdString();
            if (focus && tabs->widget(i)->isAncestorOf(focus))
                for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Up})
                    QTest::keyClick(QApplication::focusWidget(), key);
            // Every field clicked into and left without a key.
            for (QLineEdit* edit : Fields(tabs->widget(i))) {
                if (!edit->isVisible() || !edit->isEnabled())
                    continue;
                ClickField(edit);
                EXPECT_EQ(QApplication::focusWidget(), edit)
                    << "the focus really moved to " << edit->objectName().toStdString();
                ++fieldsFocused;
            }
        }
        // And once more through Next page, from HOME round to HOME.
        ClickTab(0);
        for (int step = 0; step < tabs->count(); ++step) {
            const QString page = tabs->currentWidget()->objectName();
            auto* next = Find<QPushButton>(page.toStdString() + "Next");
            if (!next || !next->isVisible())
                next = Find<QPushButton>("btnLastPage");
            if (!next || !next->isVisible() || !next->isEnabled())
                break;
            QTest::mouseClick(next, Qt::LeftButton);
        }
        ClickTab(Form().PageIndex("RuntimeSheet"));
        EXPECT_GT(fieldsFocused, 10);

        EXPECT_EQ(Form().statusPanels[1], status);
        const auto valuesAfter = Values();
        const auto shownAfter = Shown();
        for (const auto& [name, value] : values)
            EXPECT_EQ(valuesAfter.at(name), value) << name;
        for (const auto& [name, text] : shown)
            EXPECT_EQ(shownAfter.at(name).toStdString(), text.toStdString()) << name;
    }
}

TEST_F(UnitValuesGui, WhatTheUserTypesIsStillCorrected) {
    const test::HeldUnit held = test::HeldUnits().front();
    ReadHeldUnit(held);
    ASSERT_FALSE(HasFatalFailure());
    ClickTab(Form().PageIndex("FlowrateSheet"));
    auto* cutoff = Find<QLineEdit>("FlowrateCutoffEdit");
    QTest::mouseClick(cutoff, Qt::LeftButton);
    cutoff->selectAll();
    QTest::keyClick(cutoff, Qt::Key_0);
    EXPECT_EQ(cutoff->text(), "0");
    ClickTab(Form().PageIndex("PulseSheet")); // the tab left the edit the user typed into
    EXPECT_EQ(Form()["FlowrateCutoffEdit"].text, "1");
    EXPECT_EQ(Form().statusPanels[1],
              " Status: values need to be read from or written to the device");

    // Typed, then Write to device by its key while the focus is still in the field: the
    // correction comes first, the unit receives 1.
    auto* amount = Find<QLineEdit>("PulseAmountEdit");
    QTest::mouseClick(amount, Qt::LeftButton);
    amount->selectAll();
    QTest::keyClick(amount, Qt::Key_0);
    ASSERT_EQ(QApplication::focusWidget(), amount);
    QTest::keyClick(&Window(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Form().statusPanels[1] ==
                   " Status: values were written correctly to the device.";
        },
        20000));
    EXPECT_EQ(Form()["PulseAmountEdit"].text, "1");
    EXPECT_EQ(unit->Value(130, 3), 1u);
    EXPECT_EQ(unit->Value(56, 2), 1u);
}

TEST_F(UnitValuesGui, AnOpenedPageHoldsTheFocusNotAChoice) {
    ReadHeldUnit(test::HeldUnits().front());
    ASSERT_FALSE(HasFatalFailure());
    // The user clicked the choice already made on the Total page, went on, and comes back:
    // Qt would give the focus back to that choice, where an arrow key changes the value.
    ClickTab(Form().PageIndex("TotalSheet"));
    QRadioButton* choice = nullptr;
    for (QRadioButton* radio : Window().Widget("TotalMultiplyGroup")->findChildren<QRadioButton*>())
        if (radio->isChecked())
            choice = radio;
    ASSERT_NE(choice, nullptr);
    QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(4, choice->height() / 2));
    ASSERT_EQ(QApplication::focusWidget(), choice);
    const int held = Form()["TotalMultiplyGroup"].itemIndex;
    const std::string status = Form().statusPanels[1];
    for (const char* other : {"FlowrateSheet", "RuntimeSheet"}) {
        ClickTab(Form().PageIndex(other));
        ClickTab(Form().PageIndex("TotalSheet"));
        EXPECT_NE(QApplication::focusWidget(), choice) << "back from " << other;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(Form()["TotalMultiplyGroup"].itemIndex, held) << "back from " << other;
    }
    // Next page and Previous page open pages the same way.
    QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(4, choice->height() / 2));
    QTest::mouseClick(Find<QPushButton>("TotalSheetNext"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("FlowrateSheetPrev"), Qt::LeftButton);
    ASSERT_EQ(Form().ActivePageName(), "TotalSheet");
    EXPECT_NE(QApplication::focusWidget(), choice);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(Form()["TotalMultiplyGroup"].itemIndex, held);
    EXPECT_EQ(Form().statusPanels[1], status);
}
