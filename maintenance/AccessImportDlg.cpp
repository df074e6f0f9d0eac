#include "maintenance/AccessImportDlg.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "maintenance/DataMaintenance.h"
#include "maintenance/LedgerMaintenance.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"

#include <QDir>
#include <QProgressDialog>
#include <QThread>

accessimport::ImportResult ImportAccessWithProgress(QWidget* owner, Database& db, const QString& path) {
    QProgressDialog progress(QStringLiteral("正在导入旧账本“%1”……").arg(QDir::toNativeSeparators(path)),
                             QStringLiteral("取消"), 0, 0, owner);
    progress.setWindowTitle(QStringLiteral("导入旧账本"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0);
    const accessimport::ImportResult result =
        accessimport::ImportAccessLedger(db, path, [&progress](qint64 rows, qint64 total) {
            // The text before the value: setting the value lets the window repaint.
            progress.setLabelText(
                QStringLiteral("正在导入旧账本：已导入 %1 行，共约 %2 行").arg(rows).arg(total));
            progress.setMaximum(int(std::min<qint64>(total, INT_MAX)));
            progress.setValue(int(std::min<qint64>(rows, INT_MAX)));
            return !progress.wasCanceled();
        });
    progress.close();
    return result;
}

void CDataMaintenance::OnImportAccess() {
    // Said before a file is chosen: a ledger in use takes no import.
    reopenLedger();
    if (!m_db.isOpen())
        return;
    if (const QString problem = accessimport::LedgerImportProblem(m_db); !problem.isEmpty()) {
        platform::messageBox(m_owner, problem + QStringLiteral("\n账本未做任何改动。"),
                             QStringLiteral("导入旧账本"), platform::MsgIcon::Exclamation);
        return;
    }
    const auto chosen = platform::getOpenFileName(
        m_owner, {QStringLiteral("导入旧账本(Access)"),
                  {{QStringLiteral("Access数据库(.mdb)"), QStringLiteral("*.mdb *.accdb")},
                   {QStringLiteral("所有文件"), QStringLiteral("*")}}});
    if (!chosen)
        return;
    const QString question =
        QStringLiteral(
            "将把旧账本“%1”中的收据、租户、用户和设置全部导入账本（%2），账本中现有的设置和用户"
            "将被旧账本中的替换。\n导入后程序将退出，请重新运行程序，用旧账本中的用户和密码登录。\n\n"
            "是否继续导入？")
            .arg(QDir::toNativeSeparators(*chosen), LedgerLocation::describe(DataSource::ledgerPath()));
    if (!platform::confirmNoByDefault(m_owner, question, QStringLiteral("导入旧账本")))
        return;
    reopenLedger();
    if (!m_db.isOpen())
        return;
    const accessimport::ImportResult result = ImportAccessWithProgress(m_owner, m_db, *chosen);
    if (!result.ok) {
        platform::messageBox(m_owner, result.message, QStringLiteral("导入旧账本"),
                             result.cancelled ? platform::MsgIcon::Information
                                              : platform::MsgIcon::Exclamation);
        return;
    }
    m_db.close();
    QDir::setCurrent(maintenance::ProgramDirectory());
    platform::messageBox(m_owner, result.message + QStringLiteral("\n\n请重新运行程序!"),
                         QStringLiteral("导入旧账本"), platform::MsgIcon::Information);
    QThread::msleep(200);
    platform::exitProcess(0);
}
