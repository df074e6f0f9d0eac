#pragma once

// The main window's settings load: the ledger's settings rows (USER_SET rows 1 to 3, the table2
// row '1') read once when the window opens, into the application-wide values printing reads and
// the window's own part.

#include <QString>

class Database;

// What the main window takes from the settings besides the application-wide values.
struct FormSettings {
    bool row1Found = false;
    bool row3Found = false;
    QString addressCaption; // the caption box
    QString clerk;
    QString payee;
    bool threeRow = true;
    bool rounding = true;
    QString hotWaterCaption;
    QString tvCaption;     // TVfee, default "押金"
    QString cleanCaption;  // cleanfee, default "卫生费"
    QString manageCaption; // managefee, default "管理费"
    QString netCaption;    // netfee, default "网费"
    int displayRange = 0;
    bool table2Inserted = false;
};

// Fills appSettings() and returns the window's part. Inserts the default table2 row when there is
// none (margins then stay 0 for this run).
FormSettings loadMainWindowSettings(Database& db);
