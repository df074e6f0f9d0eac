#include "receipt/FormSettings.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"

namespace {

QString orDefault(const QString& value, const char* fallback) {
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

} // namespace

FormSettings loadMainWindowSettings(Database& db) {
    AppSettings& app = appSettings();
    FormSettings form;

    {
        Recordset rs = db.query(QStringLiteral("select * from USER_SET where id=1"));
        for (; !rs.isEOF(); rs.moveNext()) {
            form.row1Found = true;
            form.addressCaption = orDefault(rs.field(1), "房间地址");
            app.addressCaption = form.addressCaption;
            app.receiptTitle = rs.field(5);
            app.bottomRemark = rs.field(6);
            app.paperIndex = textToInt(rs.field(7));
            form.clerk = rs.field(8);
            form.payee = rs.field(9);
            app.rightRemark = rs.field(11);
        }
    }

    bool table2Found = false;
    {
        Recordset rs = db.query(QStringLiteral("select * from table2 where row1 = '1'"));
        for (; !rs.isEOF(); rs.moveNext()) {
            table2Found = true;
            const QString printer = rs.field(1);
            app.printerName = printer == QLatin1String("1") ? platform::defaultPrinterName() : printer;
            app.offsetX = textToInt(rs.field(2));
            app.offsetY = textToInt(rs.field(3));
            app.marginX = textToInt(rs.field(5));
            app.marginY = textToInt(rs.field(6));
            form.displayRange = textToInt(rs.field(4));
        }
    }
    if (!table2Found) {
        db.execute(QStringLiteral("insert into [table2] ([row1],[row2],[row3],[row4],[row5],[row6],[row7]) "
                                  "values('1','1','0','0','0','10','10')"));
        form.table2Inserted = true;
        app.printerName = platform::defaultPrinterName();
        app.offsetX = app.offsetY = app.marginX = app.marginY = 0;
        form.displayRange = 0;
    }
    // A range written outside the program has no statement of its own: show everything.
    if (form.displayRange < 0 || form.displayRange > 4)
        form.displayRange = 0;

    {
        Recordset rs = db.query(QStringLiteral("select * from USER_SET where id=2"));
        for (; !rs.isEOF(); rs.moveNext()) {
            const QString w = rs.field(7);
            const QString h = rs.field(8);
            app.customPaperWidth = w.isEmpty() ? 2410 : textToInt(w);
            app.customPaperHeight = h.isEmpty() ? 933 : textToInt(h);
        }
    }

    {
        Recordset rs = db.query(QStringLiteral("select * from USER_SET where id=3"));
        for (; !rs.isEOF(); rs.moveNext()) {
            form.row3Found = true;
            form.threeRow = rs.field(1) != QLatin1String("0");
            form.rounding = rs.field(3) != QLatin1String("0");
            form.hotWaterCaption = orDefault(rs.field(4), "热水费(吨)");
            app.outlineWidth = orDefault(rs.field(5), "3");
            app.innerWidth = orDefault(rs.field(6), "2");
            form.tvCaption = orDefault(rs.field(7), "押金");
            form.cleanCaption = orDefault(rs.field(8), "卫生费");
            form.manageCaption = orDefault(rs.field(9), "管理费");
            form.netCaption = orDefault(rs.field(10), "网费");
            app.chargingPeriod = rs.field(11) != QLatin1String("0");
        }
    }
    return form;
}
