#pragma once

// A status bar of fixed-width panels, drawn by hand so that each panel starts exactly where
// the window's rules expect it (the "About..." panel of the main window is its last 74 pixels,
// never left of x = 670). One panel, the last unless told otherwise, takes the spare width.
// A panel may be drawn by its owner.

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

namespace vantrel::ui {

class PanelBar : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        int width = 50;
        Qt::Alignment alignment = Qt::AlignLeft;
        QString text;
        bool bevel = true;
        bool ownerDrawn = false; // drawn by drawPanel; its text is not shown
    };

    explicit PanelBar(QWidget* parent = nullptr);

    void SetPanels(std::vector<Panel> panels);
    void SetText(int panel, const QString& text);
    void SetWidth(int panel, int width);
    // The panel that takes the spare width (the last one by default).
    void SetStretch(int panel);
    QString Text(int panel) const;
    int Count() const { return static_cast<int>(panels_.size()); }
    // Right and bottom exclusive; the panels reach the right edge.
    QRect PanelRect(int panel) const;

    // Draws the owner-drawn panels.
    std::function<void(QPainter&, int panel, const QRect&)> drawPanel;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void mouseMoved(QPoint position);
    void mousePressed(QPoint position);
    void mouseReleased(QPoint position);
    void clicked(QPoint position);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<Panel> panels_;
    bool pressed_ = false;
    int stretch_ = -1; // -1: the last panel
};

} // namespace vantrel::ui
