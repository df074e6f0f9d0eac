#include "maintenance/DataMaintenance.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/LedgerFile.h"
#include "data/LedgerFreshStart.h"
#include "data/LedgerLocation.h"
#include "data/LedgerTransfer.h"
#include "data/ServerConnection.h"
#include "data/Settings.h"
#include "maintenance/LedgerMaintenance.h"
#include "maintenance/MigrateToServerDlg.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "records/FileExportDialog.h"
#include "users/ConfirmPasswordDlg.h"

#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QThread>

#include <SQLiteCpp/Database.h>

namespace {

using platform::MsgIcon;

const QString kCaution = QStringLiteral("注意");
const QString kMigrateCaption = QStringLiteral("迁移到服务器");

struct MenuEntry {
    int id; // 0: separator
    const char* text;
};
constexpr MenuEntry kDataMenu[] = {
    {ID_RESTORE_DATABASE, "导入恢复数据库(&I)"}, {0, nullptr},
    {ID_BACKUP_DATABASE, "导出备份数据库(&O)"},  {0, nullptr},
    {ID_MIGRATE_TO_SERVER, "迁移到服务器..."},   {0, nullptr},
    {ID_IMPORT_ACCESS, "导入旧账本(Access)..."}, {0, nullptr},
    {ID_NEW_LEDGER, "重新开始记账（慎用！）"},   {0, nullptr},
    {ID_OVERVIEW, "收支统计(&T)...\tCtrl+T"},
};

QString freshFileProblemText(maintenance::FreshFileOutcome outcome, const QString& inTrash) {
    switch (outcome) {
    case maintenance::FreshFileOutcome::InUse:
        return QStringLiteral("账本正被其他程序使用，未做任何更改。");
    case maintenance::FreshFileOutcome::NotTrashed:
        return QStringLiteral("无法将原账本移到回收站，未做任何更改。");
    case maintenance::FreshFileOutcome::NotCopiedPutBack:
        return QStringLiteral("新账本建立失败，原账本已恢复，未做任何更改。");
    case maintenance::FreshFileOutcome::NotCopiedInTrash:
        return QStringLiteral("新账本建立失败，原账本在回收站中：\n%1").arg(inTrash);
    case maintenance::FreshFileOutcome::Started:
        break;
    }
    return {};
}

// Busy cursor while the data layer copies a ledger.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

CDataMaintenance::CDataMaintenance(QWidget* owner, Database& db) : m_owner(owner), m_db(db) {
}

bool CDataMaintenance::canMigrate() const {
    return !m_db.isServer() && !isOrdinaryUser();
}

QMenu* CDataMaintenance::BuildDataMenu(QWidget* parent) const {
    auto* menu = new QMenu(parent);
    for (const MenuEntry& e : kDataMenu) {
        if ((e.id == ID_MIGRATE_TO_SERVER && !canMigrate()) || (e.id == ID_IMPORT_ACCESS && isOrdinaryUser()))
            continue;
        if (e.id == 0) {
            // No separator right after another (an entry left out).
            if (!menu->actions().isEmpty() && !menu->actions().last()->isSeparator())
                menu->addSeparator();
        } else {
            menu->addAction(QString::fromUtf8(e.text))->setData(e.id);
        }
    }
    return menu;
}

void CDataMaintenance::OnManageData(QWidget* button) {
    QMenu* menu = BuildDataMenu(m_owner);
    const QPoint at = button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos();
    QAction* picked = menu->exec(at);
    const int command = picked ? picked->data().toInt() : 0;
    delete menu;
    RunCommand(command);
}

void CDataMaintenance::RunCommand(int command) {
    switch (command) {
    case ID_RESTORE_DATABASE:
        OnRestoreDatabase();
        break;
    case ID_BACKUP_DATABASE:
        OnBackupDatabase();
        break;
    case ID_NEW_LEDGER:
        OnNewLedger();
        break;
    case ID_MIGRATE_TO_SERVER:
        OnMigrateToServer();
        break;
    case ID_IMPORT_ACCESS:
        if (!isOrdinaryUser())
            OnImportAccess();
        break;
    case ID_OVERVIEW:
        if (m_openOverview)
            m_openOverview();
        break;
    default:
        break;
    }
}

void CDataMaintenance::reopenLedger() {
    if (!m_db.isOpen())
        OpenLedger(m_db, m_owner);
}

void CDataMaintenance::OnRestoreDatabase() {
    const auto chosen =
        platform::getOpenFileName(m_owner, {QStringLiteral("导入恢复数据库"),
                                            {{QStringLiteral("数据库文件(.rbk)"), QStringLiteral("*.rbk")}}});
    if (!chosen)
        return;
    if (const QString problem = maintenance::RestoreSourceProblem(*chosen, DataSource::ledgerPath());
        !problem.isEmpty()) {
        platform::messageBox(m_owner, problem, kCaution, MsgIcon::Exclamation);
        return;
    }
    // A server ledger is every clerk's: the question names it.
    const QString question =
        m_db.isServer()
            ? QStringLiteral(
                  "进行数据恢复操作后，账本（%1）的现有数据将会被全部覆盖，所有职员看到的都将是恢复后的数据。"
                  "是否继续数据恢复操作？")
                  .arg(LedgerLocation::describe(DataSource::ledgerPath()))
            : QStringLiteral("进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？");
    if (platform::messageBox(m_owner, question, kCaution, MsgIcon::Exclamation,
                             platform::Yes | platform::No) != platform::Yes)
        return;

    // Through the window's own connection, in one transaction of the engine: a failure leaves the
    // ledger as it was and the window running on it.
    reopenLedger();
    if (!m_db.isOpen())
        return;
    TransferResult restored;
    {
        WaitCursor busy;
        restored = RestoreLedger(m_db, *chosen);
    }
    if (!restored.ok) {
        platform::messageBox(
            m_owner, restored.message.isEmpty() ? QStringLiteral("数据库恢复不成功!") : restored.message,
            QString(), MsgIcon::Exclamation);
        return;
    }
    m_db.close();
    QDir::setCurrent(maintenance::ProgramDirectory());
    platform::messageBox(m_owner,
                         (restored.message.isEmpty() ? QStringLiteral("数据库恢复成功!") : restored.message) +
                             QStringLiteral("\n请重新运行程序!"),
                         QString(), MsgIcon::Information);
    QThread::msleep(200);
    platform::exitProcess(0);
}

void CDataMaintenance::OnBackupDatabase() {
    CFileExportDialog dlg(QStringLiteral("导出"), QStringLiteral("数据库文件(*.rbk)"),
                          maintenance::ProposedBackupName(platform::now().date()), m_owner);
    dlg.setTitle(QStringLiteral("导出备份数据库"));
    dlg.setFileTypes(
        QList<platform::FileType>{{QStringLiteral("数据库文件(.rbk)"), QStringLiteral("*.rbk")}});
    if (dlg.exec()) {
        reopenLedger();
        TransferResult saved;
        if (m_db.isOpen()) {
            WaitCursor busy;
            saved = BackupLedger(m_db, dlg.pathName());
        }
        // A server ledger's backup says which ledger went into which file, and what it holds.
        const QString text = !saved.message.isEmpty() ? saved.message
                             : saved.ok               ? QStringLiteral("数据库备份成功!")
                                                      : QStringLiteral("数据库备份不成功!");
        platform::messageBox(m_owner, text, QString(),
                             saved.ok || saved.message.isEmpty() ? MsgIcon::Information
                                                                 : MsgIcon::Exclamation);
    }
    QDir::setCurrent(maintenance::ProgramDirectory());
}

void CDataMaintenance::OnNewLedger() {
    CConfirmPasswordDlg password(m_owner);
    password.m_strUserName = g_strCurrentUser;
    const QString warning =
        m_db.isServer()
            ? QStringLiteral(
                  "重新记账会清空账本（%1）中所有记录，所有职员都将从空账本开始"
                  "（原数据会完整保存在这个数据库的另一个模式中）。强烈建议先进行导出备份数据库！\n\n"
                  "请慎重选择是否重新记账？")
                  .arg(LedgerLocation::describe(DataSource::ledgerPath()))
            : QStringLiteral(
                  "重新记账会清空帐本中所有记录，强烈建议先进行导出备份数据库！\n\n请慎重选择是否重新记账？");
    if (platform::messageBox(m_owner, warning, QStringLiteral("重新记账"), MsgIcon::Exclamation,
                             platform::Yes | platform::No) != platform::Yes)
        return;
    if (password.exec() != QDialog::Accepted)
        return;
    if (m_db.isServer()) {
        startServerLedgerAfresh();
        return;
    }

    const QString live = DataSource::ledgerPath();
    const QString empty = maintenance::EmptyLedgerPath();
    if (!IsLedgerFile(empty)) {
        platform::messageBox(m_owner,
                             QStringLiteral("找不到有效的空账本文件NewRentbook.nrbk，未做任何更改。"),
                             kCaution, MsgIcon::Exclamation);
        return;
    }
    m_db.close();
    QString inTrash;
    const maintenance::FreshFileOutcome outcome = maintenance::StartLedgerFileAfresh(live, empty, inTrash);
    if (outcome != maintenance::FreshFileOutcome::Started) {
        reopenLedger();
        platform::messageBox(m_owner, freshFileProblemText(outcome, inTrash), kCaution, MsgIcon::Exclamation);
        return;
    }
    platform::messageBox(m_owner, QStringLiteral("开始新的记账，请重启软件！"));
    platform::exitProcess(0);
}

// A server ledger has no file to put in the trash: the old ledger is kept in a schema of its own
// in the same database, and the message says where and how to get it back.
void CDataMaintenance::startServerLedgerAfresh() {
    FreshStartResult fresh;
    {
        WaitCursor busy;
        fresh = StartServerLedgerAfresh(DataSource::ledgerPath(), g_strCurrentUser, platform::now());
    }
    if (!fresh.ok) {
        platform::messageBox(m_owner, fresh.message, kCaution, MsgIcon::Exclamation);
        return;
    }
    m_db.close();
    platform::messageBox(m_owner, fresh.message + QStringLiteral("\n\n开始新的记账，请重启软件！"));
    platform::exitProcess(0);
}

void CDataMaintenance::OnMigrateToServer() {
    if (!canMigrate())
        return;
    const QString file = m_db.path().isEmpty() ? DataSource::ledgerPath() : m_db.path();
    CMigrateToServerDlg dialog(m_owner);
    TransferResult moved;
    QString uri;
    // Back to the dialog while the server cannot be used as given: the address corrected, the
    // password typed.
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        uri = dialog.address();
        if (dialog.asksPassword())
            SetServerPassword(dialog.password());
        {
            WaitCursor busy;
            moved = CopyLedgerFileToServer(file, uri);
        }
        if (moved.problem != TransferProblem::TargetUnusable)
            break;
        const bool password = moved.ledgerProblem == LedgerProblem::PasswordNeeded ||
                              moved.ledgerProblem == LedgerProblem::PasswordWrong;
        // libpq's words add nothing to "type the password"; to a connection refused they do.
        dialog.showProblem(password ? moved.message.section(QStringLiteral("\n\n"), 0, 0) : moved.message,
                           password);
    }
    if (!moved.ok) {
        platform::messageBox(m_owner, moved.message, kMigrateCaption, MsgIcon::Exclamation);
        return;
    }
    if (platform::messageBox(m_owner,
                             moved.message + QStringLiteral("\n\n是否让本机改用服务器上的这个账本？"
                                                            "本机的账本文件保持原样，不再使用。"),
                             kMigrateCaption, MsgIcon::Question,
                             platform::Yes | platform::No) != platform::Yes)
        return;
    // The address is kept without a password: a password stays in this run's memory only.
    const QString location = LedgerLocation::withoutPassword(uri);
    if (!ledgerchoice::remember(location)) {
        platform::messageBox(
            m_owner,
            QStringLiteral("账本已迁移到服务器，但无法保存本机的设置，本机仍使用原来的账本文件。\n"
                           "设置文件：%1")
                .arg(QDir::toNativeSeparators(ledgerchoice::settingsFileName())),
            kMigrateCaption, MsgIcon::Exclamation);
        return;
    }
    DataSource::setLedgerPath(location);
    m_db.close();
    platform::messageBox(m_owner,
                         QStringLiteral("本机已改用服务器上的账本：\n%1\n请重新运行程序!")
                             .arg(LedgerLocation::describe(location)),
                         kMigrateCaption, MsgIcon::Information);
    platform::exitProcess(0);
}
