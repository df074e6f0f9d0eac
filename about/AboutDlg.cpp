#include "about/AboutDlg.h"
#include "ui_AboutDlg.h"

#include "about/UserGuide.h"
#include "about/WebSite.h"
#include "platform/Artwork.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QThread>
#include <QTimerEvent>
#include <QUrl>

std::atomic<int> g_bUpdateCheckDone{0};

namespace {

const QString kStatus = QStringLiteral("正在连接网络，检测新版本");

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CAboutDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowIcon(artwork::applicationIcon());
    ui->icon->setPixmap(artwork::applicationIcon().pixmap(32, 32));
    const QString host = QUrl(VendorSite()).host();
    ui->website->setText(QStringLiteral("网址：%1").arg(host));
    ui->email->setText(QStringLiteral("邮箱：help@%1").arg(host));
    // A screen reader reads a label by its name: these lines are named by what they say.
    for (QLabel* line : {ui->version, ui->notice, ui->rights, ui->website, ui->email})
        line->setAccessibleName(line->text());
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->helpButton, &QPushButton::clicked, this, &CAboutDlg::OnAboutHelp);
    connect(ui->updateButton, &QPushButton::clicked, this, &CAboutDlg::OnCheckUpdate);
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::OnInitDialog() {
    ui->updateStatus->hide();
    g_bUpdateCheckDone = 0;
}

void CAboutDlg::OnAboutHelp() {
    OnHelpRequest();
}

void CAboutDlg::OnCheckUpdate() {
    // One check at a time: two workers would share the one local copy of the version file.
    ui->updateButton->setEnabled(false);
    g_bUpdateCheckDone = 0;
    ui->updateStatus->setText(kStatus + QStringLiteral(" · · ·"));
    ui->updateStatus->show();
    repaint();
    m_timer.start(500, this);
    m_nTick = 0;
    const QString url = VendorPage(QStringLiteral("/RB_update/version.txt"));
    const QString local = QDir::current().filePath(QStringLiteral("version.txt"));
    QThread* worker = QThread::create([url, local] { UpdateCheckThread(url, local); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void CAboutDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId())
        OnTimer();
    else
        QDialog::timerEvent(event);
}

void CAboutDlg::OnTimer() {
    ++m_nTick;
    if (g_bUpdateCheckDone == 1) {
        ui->updateStatus->hide();
        m_timer.stop();
        ui->updateButton->setEnabled(true);
        repaint();
        return;
    }
    static const char* const kDots[] = {" · · ·", " ·", " · ·"};
    ui->updateStatus->setText(kStatus + QString::fromUtf8(kDots[m_nTick % 3]));
    repaint();
}

void UpdateCheckThread(const QString& url, const QString& localFile) {
    const UpdateCheckResult result = RunUpdateCheck(url, localFile);
    if (result != UpdateCheckResult::Newer)
        g_bUpdateCheckDone = 1;
    // Message boxes belong to the GUI thread; the about box may be gone by now.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [result, localFile] { FinishUpdateCheck(result, localFile); },
        Qt::QueuedConnection);
}

void FinishUpdateCheck(UpdateCheckResult result, const QString& localFile) {
    switch (result) {
    case UpdateCheckResult::NoConnection:
        platform::messageBox(nullptr, QStringLiteral("网络连接不通"), QString(),
                             platform::MsgIcon::Exclamation);
        break;
    case UpdateCheckResult::Newest:
        platform::messageBox(nullptr, QStringLiteral("此版本为最新版本"), QString(),
                             platform::MsgIcon::Information);
        break;
    case UpdateCheckResult::Newer:
        // Without the updater the program keeps running: ending it would lose the receipt
        // being typed and update nothing.
        if (!platform::startDetached(UpdaterProgram(), {})) {
            QFile::remove(localFile);
            g_bUpdateCheckDone = 1;
            platform::messageBox(nullptr,
                                 QStringLiteral("发现新版本，但无法启动升级程序 %1，请到网站下载新版本。")
                                     .arg(UpdaterProgram()),
                                 QString(), platform::MsgIcon::Exclamation);
            break;
        }
        platform::exitProcess(0);
        g_bUpdateCheckDone = 1; // reached only where the process end is only recorded
        break;
    }
}
