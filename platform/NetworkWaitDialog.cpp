#include "platform/NetworkWaitDialog.h"
#include "platform/NetworkWait.h"
#include "platform/Services.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace platform {

NetworkWaitDialog::NetworkWaitDialog(const QString& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(applicationName());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // The windows behind keep painting, but take no input until the wait is over.
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* what = new QLabel(text, this);
    what->setTextFormat(Qt::PlainText);
    what->setWordWrap(true);
    what->setMinimumWidth(320);
    layout->addWidget(what);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setAccessibleName(QStringLiteral("等待"));
    layout->addWidget(busy);
    m_waited = new QLabel(this);
    m_waited->setObjectName(QStringLiteral("waited"));
    layout->addWidget(m_waited);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    setSeconds(0);
}

void NetworkWaitDialog::setSeconds(int seconds) {
    m_waited->setText(QStringLiteral("已等待 %1 秒。按“取消”不再等待。").arg(seconds));
}

namespace {

class DesktopNetworkWait : public NetworkWaitService {
public:
    WaitOutcome wait(NetworkWait& w, int socket, bool forWrite, const QDeadlineTimer& deadline) override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
            QThread::currentThread() != QCoreApplication::instance()->thread())
            return pollSocket(socket, forWrite, deadline);
        if (!w.shown) {
            // Gone with the wait; a window closed meanwhile may have taken it along.
            auto shown = std::make_shared<QPointer<NetworkWaitDialog>>(
                new NetworkWaitDialog(w.text(), QApplication::activeWindow()));
            w.shown = std::shared_ptr<void>(shown.get(), [shown](void*) { delete shown->data(); });
            (*shown)->setSeconds(int(w.elapsed() / 1000));
            (*shown)->show();
        }
        NetworkWaitDialog* dialog = *static_cast<QPointer<NetworkWaitDialog>*>(w.shown.get());
        if (!dialog)
            return WaitOutcome::Cancelled;

        QEventLoop loop;
        WaitOutcome outcome = WaitOutcome::TimedOut;
        const auto end = [&](WaitOutcome o) {
            outcome = o;
            loop.quit();
        };
        std::unique_ptr<QSocketNotifier> notifier;
        if (socket >= 0) {
            notifier = std::make_unique<QSocketNotifier>(qintptr(socket), forWrite ? QSocketNotifier::Write
                                                                                   : QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop,
                             [&] { end(WaitOutcome::Ready); });
        }
        QTimer timeout, clock;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, [&] { end(WaitOutcome::TimedOut); });
        QObject::connect(&clock, &QTimer::timeout, dialog,
                         [&] { dialog->setSeconds(int(w.elapsed() / 1000)); });
        const QMetaObject::Connection cancelled =
            QObject::connect(dialog, &QDialog::rejected, &loop, [&] { end(WaitOutcome::Cancelled); });
        if (!deadline.isForever())
            timeout.start(int(std::max<qint64>(0, deadline.remainingTime())));
        else if (socket < 0)
            return WaitOutcome::TimedOut;
        clock.start(1000);
        loop.exec();
        QObject::disconnect(cancelled);
        return outcome;
    }
};

} // namespace

void installNetworkWaitDialog() {
    static DesktopNetworkWait wait;
    setNetworkWaitService(&wait);
}

} // namespace platform
