#include "ui/StartUpForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

namespace vantrel::ui {

namespace {

constexpr int kWidth = 319;
constexpr int kHeight = 200;
constexpr int kFrame = 3;
constexpr int kStrip = 10;
const QColor kRed(200, 0, 0);
const QColor kFrameColour(0, 51, 102);
constexpr const char* kWebAddress = "www.vantrel.example";

} // namespace

QPixmap LogoPixmap(int size) {
    QPixmap logo(size, size);
    logo.fill(Qt::transparent);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;

    // A meter face: a blue disc with a white scale and a needle past the middle.
    QLinearGradient face(0, 0, 0, s);
    face.setColorAt(0, QColor(30, 110, 190));
    face.setColorAt(1, QColor(0, 51, 102));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));

    const QPointF centre(s * 0.5, s * 0.56);
    const double radius = s * 0.32;
    p.setPen(QPen(Qt::white, s * 0.035, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 210 * 16,
              -240 * 16);
    for (int tick = 0; tick <= 8; ++tick) {
        const double angle = (210.0 - tick * 30.0) * M_PI / 180.0;
        const QPointF dir(std::cos(angle), -std::sin(angle));
        p.setPen(QPen(Qt::white, s * 0.02, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre + dir * radius * 0.78, centre + dir * radius * 0.92);
    }
    const double needle = 55.0 * M_PI / 180.0;
    p.setPen(QPen(kRed.lighter(130), s * 0.045, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * radius * 0.85);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, s * 0.05, s * 0.05);

    // A wave under the needle: what flows through the meter.
    QPainterPath wave;
    const double y = s * 0.78;
    wave.moveTo(s * 0.28, y);
    wave.cubicTo(s * 0.38, y - s * 0.06, s * 0.44, y + s * 0.06, s * 0.5, y);
    wave.cubicTo(s * 0.56, y - s * 0.06, s * 0.62, y + s * 0.06, s * 0.72, y);
    p.setPen(QPen(QColor(160, 210, 255), s * 0.03, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    return logo;
}

TStartUpForm::TStartUpForm(QWidget* owner, const QString& versionText, int timerMs)
    : QDialog(owner), versionText_(versionText) {
    setObjectName("StartUpForm");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(kWidth, kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kFrame, kFrame + kStrip, kFrame, kFrame + kStrip);
    layout->setSpacing(0);

    Label1 = new QLabel("Program name", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFixedHeight(28);
    QFont title = font();
    title.setPixelSize(22);
    title.setBold(true);
    Label1->setFont(title);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, kRed);
    Label1->setPalette(red);

    Label2 = new QLabel("Version ...", this);
    Label2->setObjectName("Label2");
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setFixedHeight(21);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setAlignment(Qt::AlignCenter);
    const int logoSize = kHeight - 2 * (kFrame + kStrip) - 28 - 21 - 22 - 4;
    Image1->setPixmap(LogoPixmap(logoSize));

    Label3 = new QLabel(kWebAddress, this);
    Label3->setObjectName("Label3");
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setFixedHeight(22);
    Label3->setPalette(red);

    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Image1, 1);
    layout->addWidget(Label3);

    Timer1.setSingleShot(true);
    Timer1.setInterval(timerMs);
    Timer1.setObjectName("Timer1");
}

void TStartUpForm::showEvent(QShowEvent* event) {
    // FormShow: the program's name as the main window shows it, and the version.
    QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    const QString caption = main ? main->windowTitle() : QString();
    Label1->setText(caption.isEmpty() ? QApplication::applicationDisplayName() : caption);
    Label2->setText(versionText_);
    if (startUp_)
        Timer1.start();
    QDialog::showEvent(event);
}

void TStartUpForm::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setBrush(kFrameColour);
    const QRect r = rect();
    p.drawRect(0, 0, r.width(), kFrame);
    p.drawRect(0, r.height() - kFrame, r.width(), kFrame);
    p.drawRect(0, 0, kFrame, r.height());
    p.drawRect(r.width() - kFrame, 0, kFrame, r.height());
}

void TStartUpForm::CentreOnScreen() {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void TStartUpForm::ShowSplash() {
    startUp_ = true;
    CentreOnScreen();
    show();
    raise();
    QCoreApplication::processEvents();
}

void TStartUpForm::ShowAbout() {
    startUp_ = false;
    Timer1.stop();
    CentreOnScreen();
    exec();
}

void TStartUpForm::Label3Click() {
    if (!startUp_)
        accept();
}

void TStartUpForm::mousePressEvent(QMouseEvent* event) {
    // The labels and the image pass their clicks on to the window.
    Label3Click();
    event->accept();
}

void TStartUpForm::keyPressEvent(QKeyEvent* event) {
    Label3Click();
    event->accept();
}

void TStartUpForm::reject() {
    // Escape and the window manager's close are keys and clicks like any other: ignored while
    // the splash is up.
    if (!startUp_)
        QDialog::reject();
}

} // namespace vantrel::ui
