#include "about/UserGuide.h"

#include "about/WebSite.h"
#include "platform/Artwork.h"
#include "platform/Services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kGuideName = QStringLiteral("guide.html");

QString& chosenPath() {
    static QString path;
    return path;
}

// One guide window at a time; F1 again brings it to the front.
QPointer<CUserGuideDlg>& openWindow() {
    static QPointer<CUserGuideDlg> window;
    return window;
}

} // namespace

QString UserGuidePath() {
    if (!chosenPath().isEmpty())
        return QFileInfo::exists(chosenPath()) ? chosenPath() : QString();
    const QDir executable(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {executable.filePath(kGuideName),
                                     executable.filePath(QStringLiteral("../share/rentbook/") + kGuideName)})
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    return {};
}

void SetUserGuidePath(const QString& path) {
    chosenPath() = path;
}

void OnHelpRequest() {
    const QString page = QStringLiteral("/yinanwenti.htm");
    if (platform::openUrl(VendorPage(page)))
        return;
    const QString guide = UserGuidePath();
    if (guide.isEmpty()) {
        platform::messageBox(nullptr,
                             QStringLiteral("无法打开网页，请用浏览器访问：\n%1").arg(VendorPage(page)),
                             QString(), platform::MsgIcon::Exclamation);
        return;
    }
    if (platform::openUrl(QUrl::fromLocalFile(guide).toString()))
        return;
    // No browser at all: the program shows the guide itself.
    if (!openWindow()) {
        openWindow() = new CUserGuideDlg(guide, QApplication::activeWindow());
        openWindow()->setAttribute(Qt::WA_DeleteOnClose);
    }
    openWindow()->show();
    openWindow()->raise();
    openWindow()->activateWindow();
}

CUserGuideDlg::CUserGuideDlg(const QString& path, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("使用指南"));
    setWindowIcon(artwork::applicationIcon());
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    resize(720, 640);
    auto* layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setAccessibleName(QStringLiteral("使用指南"));
    // Links within the guide move in it; others are the browser's, through the platform.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme().isEmpty() || url.isLocalFile())
            m_browser->scrollToAnchor(url.fragment());
        else
            platform::openUrl(url.toString());
    });
    m_browser->setSource(QUrl::fromLocalFile(path));
    layout->addWidget(m_browser);
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
}
