#pragma once

// The start-up window: a splash while the main window is being created (about a second,
// clicks ignored), kept hidden afterwards and shown again, modally, as the about box, which a
// click or a key closes.

#include <QDialog>
#include <QTimer>

class QLabel;

namespace vantrel::ui {

// The logo of the splash, drawn rather than shipped as a file.
QPixmap LogoPixmap(int size);

class TStartUpForm final : public QDialog {
    Q_OBJECT
public:
    TStartUpForm(QWidget* owner, const QString& versionText, int timerMs = 1000);

    // Shown as the splash: pending events run once so that it paints and its timer starts.
    void ShowSplash();
    // The splash timer has fired (it fires once).
    bool TimerDone() const { return !Timer1.isActive(); }
    // As the about box, modal, until a click or a key.
    void ShowAbout();

    bool StartUp() const { return startUp_; }
    QTimer Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void Label3Click();
    void CentreOnScreen();

    QString versionText_;
    bool startUp_ = true;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* Label3;
};

} // namespace vantrel::ui
