#pragma once

// The application-wide values the settings load fills and printing reads when it draws: the
// receipt's title and remarks, the paper, the printer, offsets, margins and table lines, and the
// two form choices the printed page shows (the address caption, the charging period).

#include <QString>

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
