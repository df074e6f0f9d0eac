#include "controls/TitleTip.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimerEvent>

#include <algorithm>

CTitleTip::CTitleTip(QWidget* owner, bool bordered)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                         Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint),
      m_owner(owner), m_bordered(bordered),
      // One pixel less above and below the text: the tip is no higher than the line it covers.
      m_margins(0, -1, 0, -1) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setColors(owner->palette().color(QPalette::Highlight), owner->palette().color(QPalette::HighlightedText));
}

void CTitleTip::setTipText(const QString& text) {
    m_text = text;
    if (isVisible()) {
        resize(sizeHint());
        update();
    }
}

void CTitleTip::setColors(const QColor& background, const QColor& text) {
    m_background = background;
    m_textColor = text;
    update();
}

int CTitleTip::textIndent() const {
    return (m_bordered ? 1 : 0) + m_margins.left();
}

QSize CTitleTip::sizeHint() const {
    const int border = m_bordered ? 2 : 0;
    const QFontMetrics metrics(font());
    const int width = metrics.horizontalAdvance(m_text) + m_margins.left() + m_margins.right() + border;
    const int height = metrics.height() + m_margins.top() + m_margins.bottom() + border;
    return QSize(width, std::max(height, m_minHeight));
}

void CTitleTip::showAt(const QPoint& topLeft, int minHeight) {
    if (m_owner)
        setFont(m_owner->font());
    m_minHeight = minHeight;
    setGeometry(QRect(topLeft, sizeHint()));
    if (!isVisible())
        show();
    update();
}

void CTitleTip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (m_bordered) {
        painter.setPen(palette().color(QPalette::Shadow));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.setPen(m_textColor);
    // Plain text: an "&" is shown as it is, never taken as a mnemonic.
    const QRect textRect(textIndent(), 0, width() - textIndent(), height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
}

bool CTitleTip::event(QEvent* event) {
    // Where the window system still hands the tip the mouse, pass it on to the box beneath, as
    // if the tip were not there.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        if (!m_owner)
            break;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF global = mouse->globalPosition();
        QWidget* target = m_owner->childAt(m_owner->mapFromGlobal(global.toPoint()));
        if (!target)
            target = m_owner;
        QMouseEvent forwarded(mouse->type(), target->mapFromGlobal(global), global, mouse->button(),
                              mouse->buttons(), mouse->modifiers());
        if (mouse->type() == QEvent::MouseButtonPress)
            hide();
        QCoreApplication::sendEvent(target, &forwarded);
        return true;
    }
    case QEvent::Wheel:
        hide();
        return true;
    default:
        break;
    }
    return QWidget::event(event);
}

// ---- tips of the entries of a list ----------------------------------------------------------

namespace {

// Where an item view draws the text of an entry, from the entry's left edge.
int itemTextMargin(const QAbstractItemView* view) {
    return view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
}

QRect globalRect(const QWidget* widget, const QRect& rect) {
    return QRect(widget->mapToGlobal(rect.topLeft()), rect.size());
}

} // namespace

CListTitleTip::CListTitleTip(QAbstractItemView* view)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_tip(new CTitleTip(m_viewport, false)) {
    m_tip->setColors(view->palette().color(QPalette::Highlight),
                     view->palette().color(QPalette::HighlightedText));
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
}

bool CListTitleTip::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_viewport) {
        if (event->type() == QEvent::MouseMove)
            mouseMoved(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Hide)
            hideTip();
    }
    return QObject::eventFilter(watched, event);
}

void CListTitleTip::mouseMoved(const QPoint& pos) {
    QWidget* viewport = m_view->viewport();
    if (!m_tip)
        return;
    if (!viewport->rect().contains(pos)) {
        hideTip();
        return;
    }
    const QModelIndex index = m_view->indexAt(pos);
    if (!index.isValid())
        return;
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect entry = m_view->visualRect(index);
    const int margin = itemTextMargin(m_view);
    // The text is cut where the entry or the list ends, whichever comes first.
    const int textLeft = entry.left() + margin;
    const int room = std::min(entry.right() + 1, viewport->width()) - margin - textLeft;
    if (QFontMetrics(m_view->font()).horizontalAdvance(text) <= room) {
        hideTip();
        return;
    }
    m_tip->setTipText(text);
    m_tip->showAt(viewport->mapToGlobal(QPoint(textLeft - m_tip->textIndent(), entry.top())), entry.height());
    m_timer.start(kPollMs, this);
}

void CListTitleTip::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId())
        return QObject::timerEvent(event);
    QWidget* viewport = m_view->viewport();
    if (!viewport->isVisible() || !globalRect(viewport, viewport->rect()).contains(QCursor::pos()))
        hideTip();
}

void CListTitleTip::hideTip() {
    m_timer.stop();
    if (m_tip)
        m_tip->hide();
}
