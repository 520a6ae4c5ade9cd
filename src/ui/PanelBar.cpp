#include "ui/PanelBar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace vantrel::ui {

namespace {
constexpr int kTextMargin = 4;
}

PanelBar::PanelBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PanelBar::SetPanels(std::vector<Panel> panels) {
    panels_ = std::move(panels);
    updateGeometry();
    update();
}

void PanelBar::SetText(int panel, const QString& text) {
    if (panel < 0 || panel >= Count() || panels_[panel].text == text)
        return;
    panels_[panel].text = text;
    update(PanelRect(panel));
}

void PanelBar::SetWidth(int panel, int width) {
    if (panel < 0 || panel >= Count() || panels_[panel].width == width)
        return;
    panels_[panel].width = width;
    updateGeometry();
    update();
}

QString PanelBar::Text(int panel) const {
    return panel >= 0 && panel < Count() ? panels_[panel].text : QString();
}

void PanelBar::SetStretch(int panel) {
    stretch_ = panel;
    update();
}

QRect PanelBar::PanelRect(int panel) const {
    int total = 0;
    for (const Panel& p : panels_)
        total += p.width;
    const int stretch = stretch_ >= 0 && stretch_ < Count() ? stretch_ : Count() - 1;
    const int spare = std::max(0, width() - total);
    auto widthOf = [&](int i) { return panels_[i].width + (i == stretch ? spare : 0); };
    int left = 0;
    for (int i = 0; i < panel && i < Count(); ++i)
        left += widthOf(i);
    return QRect(QPoint(left, 0), QPoint(left + widthOf(panel) - 1, height() - 1));
}

QSize PanelBar::sizeHint() const {
    int total = 0;
    for (const Panel& p : panels_)
        total += p.width;
    return QSize(total, fontMetrics().height() + 8);
}

QSize PanelBar::minimumSizeHint() const {
    return sizeHint();
}

void PanelBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    for (int i = 0; i < Count(); ++i) {
        const QRect r = PanelRect(i);
        const QRect inner = r.adjusted(1, 2, -1, -1);
        if (panels_[i].bevel) {
            // A thin sunken frame, as status-bar panels have.
            painter.setPen(pal.color(QPalette::Dark));
            painter.drawLine(inner.topLeft(), inner.topRight());
            painter.drawLine(inner.topLeft(), inner.bottomLeft());
            painter.setPen(pal.color(QPalette::Light));
            painter.drawLine(inner.bottomLeft(), inner.bottomRight());
            painter.drawLine(inner.topRight(), inner.bottomRight());
        }
        if (panels_[i].ownerDrawn) {
            if (drawPanel) {
                painter.save();
                drawPanel(painter, i, r);
                painter.restore();
            }
            continue;
        }
        painter.setPen(
            pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        const QRect textRect = inner.adjusted(kTextMargin, 0, -kTextMargin, 0);
        const QString shown =
            fontMetrics().elidedText(panels_[i].text, Qt::ElideRight, textRect.width());
        painter.drawText(textRect, static_cast<int>(panels_[i].alignment | Qt::AlignVCenter),
                         shown);
    }
}

bool PanelBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // A text too long for its panel is shown whole when the mouse rests on it.
        auto* help = static_cast<QHelpEvent*>(event);
        for (int i = 0; i < Count(); ++i) {
            const QRect r = PanelRect(i);
            if (!r.contains(help->pos()))
                continue;
            if (panels_[i].ownerDrawn)
                break;
            const int room = r.width() - 2 - 2 * kTextMargin;
            if (fontMetrics().horizontalAdvance(panels_[i].text) > room)
                QToolTip::showText(help->globalPos(), panels_[i].text.trimmed(), this, r);
            else
                QToolTip::hideText();
            return true;
        }
        QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void PanelBar::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->position().toPoint());
}

void PanelBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    emit mousePressed(event->position().toPoint());
}

void PanelBar::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit mouseReleased(at);
    if (event->button() == Qt::LeftButton && pressed_ && rect().contains(at))
        emit clicked(at);
    pressed_ = false;
}

} // namespace vantrel::ui
