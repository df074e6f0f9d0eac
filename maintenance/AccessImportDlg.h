#pragma once

// The import of an old Access ledger with a progress window: the rows so far and 取消, which rolls
// the whole import back. The window shows only when the import takes a moment.

#include "accessimport/AccessImport.h"

class Database;
class QWidget;

accessimport::ImportResult ImportAccessWithProgress(QWidget* owner, Database& db, const QString& path);
