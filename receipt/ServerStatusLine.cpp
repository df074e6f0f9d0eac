#include "receipt/ServerStatusLine.h"

#include "data/ServerReachability.h"
#include "platform/Services.h"

ServerStatusLine::ServerStatusLine(QWidget* under, QWidget* parent) : QLabel(parent), m_under(under) {
    setObjectName(QStringLiteral("serverStatus"));
    setAccessibleName(QStringLiteral("账本服务器状态"));
    setTextFormat(Qt::PlainText);
    setGeometry(under->geometry());
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(192, 0, 0));
    p.setColor(QPalette::Window, QColor(255, 244, 206));
    setPalette(p);
    setAutoFillBackground(true);
    setToolTip(QStringLiteral("与账本服务器的连接中断了。程序每隔几秒自动重新连接，连上后这一行自动消失。\n"
                              "在此期间保存、删除、查询和打印会提示没有完成；已经填写的内容不会丢失。"));
    connect(&ServerReachability::instance(), &ServerReachability::changed, this,
            &ServerStatusLine::showState);
    showState();
}

void ServerStatusLine::showState() {
    const ServerReachability& server = ServerReachability::instance();
    const QDateTime since = server.lostSince();
    if (server.isReachable() || !since.isValid()) {
        hide();
        m_under->show();
        return;
    }
    const QString when = since.date() == platform::now().date()
                             ? since.toString(QStringLiteral("HH:mm:ss"))
                             : since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    setText(QStringLiteral("无法连接账本服务器（自 %1 起），正在自动重试……").arg(when));
    m_under->hide();
    raise();
    show();
}
