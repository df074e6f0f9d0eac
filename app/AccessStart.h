#pragma once

// The old Windows program's Access ledgers at start: a ledger file that is one is offered for
// import into a new ledger in its place, and "--import-access FILE" imports one on the terminal.

#include "accessimport/AccessImport.h"
#include "app/Startup.h"

#include <functional>

class Database;

namespace startup {

// Whether the file at path is an Access file: its header reads "Standard Jet DB" or
// "Standard ACE DB".
bool isAccessFile(const QString& path);

// How the start runs an import: in the program with a progress window (set by main), else plainly.
using AccessImportRunner = std::function<accessimport::ImportResult(Database& db, const QString& path)>;
void setAccessImportRunner(AccessImportRunner runner);

// Where an Access ledger file at path is put aside when imported: "Rentbook-access-
// YYYYMMDD-HHMMSS.mdb" beside it for "Rentbook.rbk", a free name.
QString accessAsidePath(const QString& path, const QDateTime& when);

// The ledger file at path is an Access file: says so and asks whether to import it into a new
// ledger. On yes a new ledger made from emptyLedger beside it takes the file's rows; only then is
// the Access file renamed aside (never written, never deleted) and the new ledger put in its
// place. True when path now holds the imported ledger. False when the operator declined or the
// import failed (problemText says why; every file is as it was).
bool offerAccessImport(const QString& path, const QString& emptyLedger, QString& problemText);

// "--import-access FILE": the file imported into the ledger at location (a ledger file, made from
// emptyLedger when there is none yet, or a server ledger). Progress lines go to print as the rows
// go in; the answer holds the per-table summary (status 0) or why nothing was imported (status 1).
TerminalAnswer importAccessOnTerminal(const QString& file, const QString& location,
                                      const QString& emptyLedger,
                                      const std::function<void(const QString&)>& print = {});

} // namespace startup
