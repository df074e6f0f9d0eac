#include "maintenance/LedgerMaintenance.h"
#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/LedgerLocation.h"
#include "platform/Trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace maintenance {

QString ProposedBackupName(const QDate& day) {
    return QStringLiteral("%1-%2-%3房租收据数据库备份.rbk").arg(day.year()).arg(day.month()).arg(day.day());
}

QString ProgramDirectory() {
    const QString ledger = DataSource::ledgerPath();
    // A ledger on a server lives in no folder of this PC: the program's own folder then.
    if (LedgerLocation::isServer(ledger))
        return QCoreApplication::applicationDirPath();
    return QFileInfo(ledger).absolutePath();
}

QString EmptyLedgerPath() {
    return QDir(ProgramDirectory()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

QString RestoreSourceProblem(const QString& chosen, const QString& live) {
    if (IsSameFile(chosen, live))
        return QStringLiteral("试图用原数据库进行恢复,操作失败!");
    // Whatever is chosen must be a ledger this build can use before the live one is touched.
    const LedgerProblem problem = InspectLedgerFile(chosen);
    if (problem == LedgerProblem::None)
        return {};
    return problem == LedgerProblem::Newer ? LedgerProblemText(problem, chosen)
                                           : QStringLiteral("所选文件不是有效的账本数据库，未做任何更改。");
}

FreshFileOutcome StartLedgerFileAfresh(const QString& live, const QString& empty, QString& inTrash) {
    if (!CheckOutLedgerFile(live))
        return FreshFileOutcome::InUse;
    if (!platform::moveToTrash(live, &inTrash))
        return FreshFileOutcome::NotTrashed;
    if (!CopyLedgerFile(empty, live))
        return platform::restoreFromTrash(inTrash, live) ? FreshFileOutcome::NotCopiedPutBack
                                                         : FreshFileOutcome::NotCopiedInTrash;
    return FreshFileOutcome::Started;
}

} // namespace maintenance
