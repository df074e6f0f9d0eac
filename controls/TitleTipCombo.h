#pragma once

// A combo box that shows its whole text as a tip laid over the box when the text is wider than
// the box, and does the same for the entries of its drop-down list. A drop-in QComboBox:
// promote a combo box in Designer to CTitleTipCombo with the header "controls/TitleTipCombo.h".

#include <QBasicTimer>
#include <QComboBox>
#include <QPointer>

class CListTitleTip;
class QLineEdit;
class CTitleTip;

class CTitleTipCombo : public QComboBox {
    Q_OBJECT

public:
    explicit CTitleTipCombo(QWidget* parent = nullptr);

    CTitleTip* titleTip() const { return m_tip; }
    // The tips of the drop-down list; null until the list has been shown once.
    CTitleTip* listTitleTip() const;
    // The part of the box that shows the text (the drop-down button left out).
    QRect textArea() const;

    void showPopup() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void mouseMoved(const QPoint& pos);
    void hideTip();

    CTitleTip* m_tip;
    QBasicTimer m_timer;
    QPointer<CListTitleTip> m_listTip;
    QPointer<QLineEdit> m_trackedEdit;
};
