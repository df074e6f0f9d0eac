#pragma once

// Title tips: a narrow box whose text does not fit shows the whole text in a tip window laid
// exactly over the text while the pointer rests on it. CTitleTip is that window; CListTitleTip
// gives any item view (a list box, the drop-down list of a combo box) the tips of its entries.

#include <QBasicTimer>
#include <QMargins>
#include <QPointer>
#include <QWidget>

class QAbstractItemView;

class CTitleTip : public QWidget {
    Q_OBJECT

public:
    // The tip belongs to owner and passes the mouse on to it, so that it never stands between
    // the operator and the box beneath.
    CTitleTip(QWidget* owner, bool bordered);

    void setTipText(const QString& text);
    QString tipText() const { return m_text; }
    void setColors(const QColor& background, const QColor& text);
    QColor backgroundColor() const { return m_background; }
    QColor textColor() const { return m_textColor; }

    // Shows the tip with its text origin (the top-left of the text, margins and border
    // included) at the global point topLeft; at least minHeight high, text centred vertically.
    void showAt(const QPoint& topLeft, int minHeight = 0);
    // Pixels from the tip's left edge to its text.
    int textIndent() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QPointer<QWidget> m_owner;
    bool m_bordered;
    QString m_text;
    QColor m_background;
    QColor m_textColor;
    QMargins m_margins;
    int m_minHeight = 0;
};

class CListTitleTip : public QObject {
    Q_OBJECT

public:
    // Tips for the entries of view; lives as long as the view.
    explicit CListTitleTip(QAbstractItemView* view);

    CTitleTip* tip() const { return m_tip; }
    static constexpr int kPollMs = 80;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void mouseMoved(const QPoint& pos);
    void hideTip();

    QAbstractItemView* m_view;
    // Kept apart from the view: its events still come while the view is being destroyed.
    QWidget* m_viewport;
    // The tip belongs to the list's viewport, which may go first when the list is destroyed.
    QPointer<CTitleTip> m_tip;
    QBasicTimer m_timer;
};
