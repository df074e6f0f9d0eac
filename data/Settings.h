#pragma once

// Settings kept in the ledger (USER_SET rows 1 to 3, the table2 row '1', price) and the
// application-wide values they are loaded into.

#include <QString>

class Database;

// Who is logged in; power "0" is an ordinary user, anything else an administrator.
extern QString g_strCurrentUser;
extern QString g_strCurrentPower;

bool isOrdinaryUser();
QString powerText(const QString& power); // "普通用户" or "管理员"

// Values the whole program reads; printing reads them when it draws.
struct AppSettings {
    QString addressCaption; // caption of the room address
    QString receiptTitle = QStringLiteral("收款收据");
    QString bottomRemark;
    QString rightRemark = QStringLiteral("未盖章无效");
    int paperIndex = 1;
    int customPaperWidth = 2410; // tenths of a millimetre
    int customPaperHeight = 933;
    bool chargingPeriod = false;
    QString outlineWidth; // table line widths as text
    QString innerWidth;
    QString printerName;
    int offsetX = 0; // four per millimetre
    int offsetY = 0;
    int marginX = 0;
    int marginY = 0;
    QString orientation = QStringLiteral("0");
    double printQuality = 1.0;
};

AppSettings& appSettings();

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

// The main window's settings load: fills appSettings() and returns the window's part.
// Inserts the default table2 row when there is none (margins then stay 0 for this run).
FormSettings loadMainWindowSettings(Database& db);

// Decimal integer of leading digits (with sign), 0 when the text holds no number.
int textToInt(const QString& text);
// The leading number after blanks, read as C reads it but always with "." as the point; text
// without a number, and a value too large to hold ("1e999"), count 0.
double textToDouble(const QString& text);
