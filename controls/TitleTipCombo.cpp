#include "controls/TitleTipCombo.h"

#include "controls/TitleTip.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimerEvent>

namespace {

constexpr int kPollMs = 80;
// A text this much narrower than the text area still counts as not fitting: the box draws it
// with a margin on either side.
constexpr int kTextSlack = 6;
// A line edit's own gap between its left edge and its text.
constexpr int kLineEditMargin = 2;

} // namespace

CTitleTipCombo::CTitleTipCombo(QWidget* parent) : QComboBox(parent), m_tip(new CTitleTip(this, true)) {
    setMouseTracking(true);
    // A tip showing yesterday's text is worse than none: the next move shows the new one.
    connect(this, &QComboBox::currentTextChanged, this, &CTitleTipCombo::hideTip);
}

CTitleTip* CTitleTipCombo::listTitleTip() const {
    return m_listTip ? m_listTip->tip() : nullptr;
}

QRect CTitleTipCombo::textArea() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect arrow = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    QRect area = rect();
    if (arrow.isValid())
        area.setRight(arrow.left() - 1);
    return area;
}

void CTitleTipCombo::showPopup() {
    hideTip();
    // The list's tips come with the first drop-down (and again if the owner swaps the list).
    if (!m_listTip || m_listTip->parent() != view())
        m_listTip = new CListTitleTip(view());
    QComboBox::showPopup();
}

bool CTitleTipCombo::event(QEvent* event) {
    // An editable box's text is a line edit of its own: it gets the pointer, so listen to it.
    if ((event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) && lineEdit() &&
        lineEdit() != m_trackedEdit) {
        m_trackedEdit = lineEdit();
        m_trackedEdit->setMouseTracking(true);
        m_trackedEdit->installEventFilter(this);
    }
    return QComboBox::event(event);
}

bool CTitleTipCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseMove)
        mouseMoved(lineEdit()->mapTo(this, static_cast<QMouseEvent*>(event)->position().toPoint()));
    return QComboBox::eventFilter(watched, event);
}

void CTitleTipCombo::mouseMoveEvent(QMouseEvent* event) {
    mouseMoved(event->position().toPoint());
    QComboBox::mouseMoveEvent(event);
}

void CTitleTipCombo::mouseMoved(const QPoint& pos) {
    const QRect area = textArea();
    if (!area.contains(pos)) {
        hideTip();
        return;
    }
    const QString text = currentText();
    if (fontMetrics().horizontalAdvance(text) <= area.width() - kTextSlack) {
        hideTip();
        return;
    }
    const QPalette& colours = palette();
    if (hasFocus())
        m_tip->setColors(colours.color(QPalette::Highlight), colours.color(QPalette::HighlightedText));
    else
        m_tip->setColors(colours.color(QPalette::Base), colours.color(QPalette::Text));
    m_tip->setTipText(text);

    // Lay the tip's text exactly over the box's own text.
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    int textLeft = field.left() + 1;
    if (const QLineEdit* edit = lineEdit())
        textLeft = edit->geometry().left() + kLineEditMargin + edit->textMargins().left();
    m_tip->showAt(mapToGlobal(QPoint(textLeft - m_tip->textIndent(), field.top())), field.height());
    m_timer.start(kPollMs, this);
}

void CTitleTipCombo::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId())
        return QComboBox::timerEvent(event);
    if (!QRect(mapToGlobal(textArea().topLeft()), textArea().size()).contains(QCursor::pos()))
        hideTip();
}

void CTitleTipCombo::hideEvent(QHideEvent* event) {
    hideTip();
    QComboBox::hideEvent(event);
}

void CTitleTipCombo::hideTip() {
    m_timer.stop();
    m_tip->hide();
}
