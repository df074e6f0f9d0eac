#pragma once

// What the receipt form's boxes do with keys and the wheel: the number boxes take digits and a
// point only (printable keys otherwise are swallowed, shortcuts pass); a wheel notch steps the
// box or date picker that has the focus, and only while the pointer is over it; leaving a box
// is announced, for the prices and captions that are stored when the operator moves on.

#include <QList>
#include <QObject>

class QDateTimeEdit;
class QLineEdit;
class QPoint;
class QWidget;

class FormBoxFilter : public QObject {
    Q_OBJECT
public:
    struct Boxes {
        QList<QLineEdit*> numeric;     // keys filtered
        QList<QLineEdit*> stepped;     // the wheel steps these (readings and fees)
        QList<QLineEdit*> watched;     // leaving one is announced
        QList<QDateTimeEdit*> pickers; // the wheel steps these as the arrow keys do
    };
    FormBoxFilter(Boxes boxes, QWidget* window);

    void wheelTurned(bool up, const QPoint& globalPointer);

signals:
    void focusLeft(QLineEdit* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void step(QLineEdit* box, bool up);

    Boxes m_boxes;
    QWidget* m_window;
};
