#include "maintenance/DataMaintenance.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/Settings.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "platform/Trash.h"
#include "records/FileExportDialog.h"
#include "users/ConfirmPasswordDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QThread>

#include <SQLiteCpp/Database.h>

namespace {

using platform::MsgIcon;

const QString kCaution = QStringLiteral("注意");

struct MenuEntry {
    int id; // 0: separator
    const char* text;
};
constexpr MenuEntry kDataMenu[] = {
    {ID_RESTORE_DATABASE, "导入恢复数据库(&I)"}, {0, nullptr},
    {ID_BACKUP_DATABASE, "导出备份数据库(&O)"},  {0, nullptr},
    {ID_NEW_LEDGER, "重新开始记账（慎用！）"},   {0, nullptr},
    {ID_OVERVIEW, "收支统计(&T)...\tCtrl+T"},
};

} // namespace

CDataMaintenance::CDataMaintenance(QWidget* owner, Database& db) : m_owner(owner), m_db(db) {
}

QString CDataMaintenance::ProposedBackupName(const QDate& day) {
    return QStringLiteral("%1-%2-%3房租收据数据库备份.rbk").arg(day.year()).arg(day.month()).arg(day.day());
}

QString CDataMaintenance::ProgramDirectory() {
    return QFileInfo(DataSource::ledgerPath()).absolutePath();
}

QString CDataMaintenance::EmptyLedgerPath() {
    return QDir(ProgramDirectory()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

QMenu* CDataMaintenance::BuildDataMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (const MenuEntry& e : kDataMenu) {
        if (e.id == 0)
            menu->addSeparator();
        else
            menu->addAction(QString::fromUtf8(e.text))->setData(e.id);
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
    // The live ledger under any name (a hard link too) is the live ledger; another file is not,
    // whatever its name.
    if (IsSameFile(*chosen, DataSource::ledgerPath())) {
        platform::messageBox(m_owner, QStringLiteral("试图用原数据库进行恢复,操作失败!"), kCaution,
                             MsgIcon::Exclamation);
        return;
    }
    // Whatever is chosen must be a ledger this build can use before the live one is touched.
    if (const LedgerProblem problem = InspectLedgerFile(*chosen); problem != LedgerProblem::None) {
        platform::messageBox(m_owner,
                             problem == LedgerProblem::Newer
                                 ? LedgerProblemText(problem, *chosen)
                                 : QStringLiteral("所选文件不是有效的账本数据库，未做任何更改。"),
                             kCaution, MsgIcon::Exclamation);
        return;
    }
    if (platform::messageBox(
            m_owner, QStringLiteral("进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？"),
            kCaution, MsgIcon::Exclamation, platform::Yes | platform::No) != platform::Yes)
        return;

    // Through the window's own connection, in one transaction of the engine: a failure leaves the
    // ledger as it was and the window running on it.
    reopenLedger();
    if (!m_db.isOpen())
        return;
    if (!RestoreLedgerInto(m_db.handle()->getHandle(), *chosen)) {
        platform::messageBox(m_owner, QStringLiteral("数据库恢复不成功!"), QString(), MsgIcon::Exclamation);
        return;
    }
    m_db.close();
    QDir::setCurrent(ProgramDirectory());
    platform::messageBox(m_owner, QStringLiteral("数据库恢复成功!\n请重新运行程序!"), QString(),
                         MsgIcon::Information);
    QThread::msleep(200);
    platform::exitProcess(0);
}

void CDataMaintenance::OnBackupDatabase() {
    CFileExportDialog dlg(QStringLiteral("导出"), QStringLiteral("数据库文件(*.rbk)"),
                          ProposedBackupName(platform::now().date()), m_owner);
    dlg.setTitle(QStringLiteral("导出备份数据库"));
    dlg.setFileTypes(
        QList<platform::FileType>{{QStringLiteral("数据库文件(.rbk)"), QStringLiteral("*.rbk")}});
    if (dlg.exec()) {
        reopenLedger();
        const bool ok = m_db.isOpen() && BackupLedgerTo(m_db.handle()->getHandle(), dlg.pathName());
        platform::messageBox(m_owner,
                             ok ? QStringLiteral("数据库备份成功!") : QStringLiteral("数据库备份不成功!"),
                             QString(), MsgIcon::Information);
    }
    QDir::setCurrent(ProgramDirectory());
}

void CDataMaintenance::OnNewLedger() {
    CConfirmPasswordDlg password(m_owner);
    password.m_strUserName = g_strCurrentUser;
    if (platform::messageBox(
            m_owner,
            QStringLiteral(
                "重新记账会清空帐本中所有记录，强烈建议先进行导出备份数据库！\n\n请慎重选择是否重新记账？"),
            QStringLiteral("重新记账"), MsgIcon::Exclamation, platform::Yes | platform::No) != platform::Yes)
        return;
    if (password.exec() != QDialog::Accepted)
        return;

    const QString live = DataSource::ledgerPath();
    const QString empty = EmptyLedgerPath();
    if (!IsLedgerFile(empty)) {
        platform::messageBox(m_owner,
                             QStringLiteral("找不到有效的空账本文件NewRentbook.nrbk，未做任何更改。"),
                             kCaution, MsgIcon::Exclamation);
        return;
    }
    // The ledger leaves with no journal of it behind, or not at all.
    m_db.close();
    QString inTrash;
    if (!CheckOutLedgerFile(live)) {
        reopenLedger();
        platform::messageBox(m_owner, QStringLiteral("账本正被其他程序使用，未做任何更改。"), kCaution,
                             MsgIcon::Exclamation);
        return;
    }
    if (!platform::moveToTrash(live, &inTrash)) {
        reopenLedger();
        platform::messageBox(m_owner, QStringLiteral("无法将原账本移到回收站，未做任何更改。"), kCaution,
                             MsgIcon::Exclamation);
        return;
    }
    if (!CopyLedgerFile(empty, live)) {
        const bool back = platform::restoreFromTrash(inTrash, live);
        reopenLedger();
        platform::messageBox(m_owner,
                             back ? QStringLiteral("新账本建立失败，原账本已恢复，未做任何更改。")
                                  : QStringLiteral("新账本建立失败，原账本在回收站中：\n%1").arg(inTrash),
                             kCaution, MsgIcon::Exclamation);
        return;
    }
    platform::messageBox(m_owner, QStringLiteral("开始新的记账，请重启软件！"));
    platform::exitProcess(0);
}
