#include "receipt/FormBoxFilter.h"

#include "data/Money.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>

FormBoxFilter::FormBoxFilter(Boxes boxes, QWidget* window)
    : QObject(window), m_boxes(std::move(boxes)), m_window(window) {
    for (QLineEdit* box : m_boxes.numeric + m_boxes.watched)
        box->installEventFilter(this);
}

bool FormBoxFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box)
        return false;
    if (event->type() == QEvent::KeyPress && m_boxes.numeric.contains(box)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (!text.isEmpty() && text[0].isPrint() && !(key->modifiers() & Qt::ControlModifier)) {
            const QChar c = text[0];
            if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.'))
                return true;
        }
    } else if (event->type() == QEvent::FocusOut && m_boxes.watched.contains(box)) {
        emit focusLeft(box);
    }
    return false;
}

void FormBoxFilter::wheelTurned(bool up, const QPoint& pointer) {
    const auto under = [pointer](QWidget* w) { return w->rect().contains(w->mapFromGlobal(pointer)); };
    for (QDateTimeEdit* picker : m_boxes.pickers) {
        if (picker->hasFocus() && under(picker)) {
            QKeyEvent key(QEvent::KeyPress, up ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(picker, &key);
        }
    }
    auto* box = qobject_cast<QLineEdit*>(m_window->focusWidget());
    if (box && m_boxes.stepped.contains(box) && under(box))
        step(box, up);
}

void FormBoxFilter::step(QLineEdit* box, bool up) {
    if (!box->isEnabled() || box->isReadOnly())
        return;
    if (box->text().isEmpty())
        box->setText(QStringLiteral("0"));
    const double value = FormNumber(box->text());
    if (up)
        box->setText(QString::asprintf("%.1f", value + 1));
    else if (value > 1)
        box->setText(QString::asprintf("%.1f", value - 1));
}
