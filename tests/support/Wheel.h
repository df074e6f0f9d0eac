#pragma once

// Qt's entry for input from the window system: a wheel event delivered through it takes the way a
// real one takes (focus by wheel, travel up to the parents of the widget under the pointer), which
// a sent event does not.

#include <QCoreApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

class QWindowSystemInterface {
public:
    static bool handleWheelEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                 QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers mods,
                                 Qt::ScrollPhase phase, Qt::MouseEventSource source);
};

// Turns the wheel by the notches (up when positive) with the pointer over the target's centre.
inline void wheel(QWidget* target, int notches) {
    QVERIFY(target);
    QVERIFY(QTest::qWaitForWindowExposed(target->window()));
    const QPoint at = target->rect().center();
    QWindowSystemInterface::handleWheelEvent(
        target->window()->windowHandle(), QPointF(target->mapTo(target->window(), at)),
        QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches), Qt::NoModifier,
        Qt::NoScrollPhase, Qt::MouseEventNotSynthesized);
    QCoreApplication::processEvents();
}
