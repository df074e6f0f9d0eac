#pragma once

// The data menu's work on the ledger file that needs no window: where the files are, whether a
// file may be restored from, and a ledger file started afresh. The data menu (DataMaintenance.h)
// asks and tells the operator; the copies themselves are the data layer's (data/LedgerFile.h,
// data/LedgerTransfer.h).

#include <QDate>
#include <QString>

namespace maintenance {

// "%d-%d-%d房租收据数据库备份.rbk" of the day.
QString ProposedBackupName(const QDate& day);
// The program directory is where the ledger lives; for a ledger on a server, the program's own
// folder.
QString ProgramDirectory();
// "NewRentbook.nrbk" in the program directory.
QString EmptyLedgerPath();

// What the operator is told about chosen as the file to restore the live ledger from; empty when
// it may be used. The live ledger under any name (a hard link too) is refused, and so is a file
// that is no ledger this build can use.
QString RestoreSourceProblem(const QString& chosen, const QString& live);

enum class FreshFileOutcome {
    Started,
    InUse,            // another program holds the ledger: nothing changed
    NotTrashed,       // the trash refused the ledger: nothing changed
    NotCopiedPutBack, // the empty ledger could not be copied; the old one is back in its place
    NotCopiedInTrash, // the same, and the old one could not be taken back out of the trash
};

// Replaces the closed ledger file at live with a copy of the empty ledger at empty, the old one
// going to the trash (inTrash: where it lies there). The ledger leaves with no journal of it
// behind, or not at all.
FreshFileOutcome StartLedgerFileAfresh(const QString& live, const QString& empty, QString& inTrash);

} // namespace maintenance
