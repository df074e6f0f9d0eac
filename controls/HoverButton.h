#pragma once

// The push button of every dialog: a rounded face with a vertical white-to-lavender gradient,
// an orange inner frame while the pointer rests over it and a blue inner frame with a dotted
// focus rectangle while it has the keyboard focus. A drop-in QPushButton: promote a button in
// Designer to CHoverButton with the header "controls/HoverButton.h".

#include <QColor>
#include <QPushButton>

class QPainter;

class CHoverButton : public QPushButton {
    Q_OBJECT

public:
    explicit CHoverButton(QWidget* parent = nullptr);
    explicit CHoverButton(const QString& text, QWidget* parent = nullptr);

    // The face colour of gradient step 0..63 (clamped) with and without the pointer over it.
    static QColor gradientColor(int step, bool hover);

    bool isHovered() const { return m_bHover; }
    bool isLButtonDown() const { return m_bLButtonDown; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

    // The two steps of drawing a subclass may replace; face is the button less its edge.
    virtual void fillFace(QPainter& painter, const QRect& face);
    virtual void drawFrame(QPainter& painter, const QRect& face);

private:
    void startTracking();
    void clearMouseState();

    bool m_bHover = false;
    bool m_bTracking = false;
    bool m_bFocus = false;
    bool m_bLButtonDown = false;
};
