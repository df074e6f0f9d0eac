#include "settings/TemplateSettings.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "print/AppSettings.h"

#include <QStringEncoder>

#include <cstdlib>

int gbkByteLength(const QString& text) {
    // A character the code page lacks (an emoji, a rare ideograph) would count as the one byte of
    // its substitute; it counts as the four bytes GB18030 gives it, exactly what GB18030 spends on
    // every character outside GBK.
    QStringEncoder gbk("GBK");
    QStringEncoder gb18030("GB18030");
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, units);
        const qsizetype wide = QByteArray(gb18030.encode(character)).size();
        bytes += int(wide == 4 ? wide : QByteArray(gbk.encode(character)).size());
        i += units;
    }
    return bytes;
}

int millimetreValue(const QString& text) {
    return textToInt(text);
}

std::optional<MillimetreField>
firstMillimetreOutOfRange(const std::array<QString, MillimetreFieldCount>& values) {
    for (int i = 0; i < MillimetreFieldCount; ++i) {
        // Compared in 64 bits: the magnitude of the most negative int does not fit an int.
        if (std::llabs(static_cast<long long>(millimetreValue(values[i]))) > kMaxMillimetres)
            return MillimetreField(i);
    }
    return std::nullopt;
}

QString millimetreRangeMessage(MillimetreField field) {
    switch (field) {
    case OffsetX:
        return QStringLiteral(
            "打印偏差左右的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！");
    case OffsetY:
        return QStringLiteral(
            "打印偏差上下的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！");
    case MarginX:
        return QStringLiteral("纸张边距左右的参数设置过大（不可超过60毫米），请重新设置！");
    case MarginY:
    case MillimetreFieldCount:
        break;
    }
    return QStringLiteral("纸张边距上下的参数设置过大（不可超过60毫米），请重新设置！");
}

bool LoadTemplateRow(Database& db, TemplateValues& values) {
    Recordset rs = db.query(QStringLiteral("select * from USER_SET where id = 1"));
    if (rs.isEOF())
        return false;
    values.title = rs.field(5);
    values.bottomRemark = rs.field(6);
    values.paperIndex = textToInt(rs.field(7));
    values.rightRemark = rs.field(11);
    // The main window reads the same column before each save ("0" off, empty or else on).
    values.saveChecks = rs.field(10).trimmed() != QLatin1String("0");
    return true;
}

void LoadTemplateMillimetres(TemplateValues& values) {
    const AppSettings& app = appSettings();
    const int quarters[] = {app.offsetX, app.offsetY, app.marginX, app.marginY};
    for (int i = 0; i < MillimetreFieldCount; ++i)
        values.millimetres[i] = QString::number(quarters[i] / 4);
}

namespace {

QString quarterText(const QString& millimetres) {
    return QString::number(millimetreValue(millimetres) * 4);
}

} // namespace

void SaveTemplateRows(Database& db, const TemplateValues& v) {
    const QString checks = v.saveChecks ? QStringLiteral("1") : QStringLiteral("0");
    const int changed = db.execute(QStringLiteral("update USER_SET set [set4] = ?, [set5] = ?, [set6] = ?, "
                                                  "[set10] = ?, [set9] = ? where id = 1"),
                                   {v.title, v.bottomRemark, v.paperIndex, v.rightRemark, checks});
    if (changed == 0)
        db.execute(QStringLiteral("insert into USER_SET ([id],[set4],[set5],[set6],[set10],[set9]) "
                                  "values(1, ?, ?, ?, ?, ?)"),
                   {v.title, v.bottomRemark, QString::number(v.paperIndex), v.rightRemark, checks});

    const QString ox = quarterText(v.millimetres[OffsetX]);
    const QString oy = quarterText(v.millimetres[OffsetY]);
    const QString mx = quarterText(v.millimetres[MarginX]);
    const QString my = quarterText(v.millimetres[MarginY]);
    const int rows = db.execute(QStringLiteral("update table2 set [row3] = ?, [row4] = ?, [row6] = ?, "
                                               "[row7] = ? \t\t\t\twhere row1 = '1'"),
                                {ox, oy, mx, my});
    if (rows == 0)
        db.execute(QStringLiteral("insert into [table2] ([row1],[row2],[row3],[row4],[row5],[row6],[row7]) "
                                  "values('1','1',?,?,'0',?,?)"),
                   {ox, oy, mx, my});
}

void ApplyTemplateToAppSettings(const TemplateValues& v) {
    AppSettings& app = appSettings();
    app.bottomRemark = v.bottomRemark;
    app.receiptTitle = v.title;
    app.rightRemark = v.rightRemark;
    app.paperIndex = v.paperIndex;
    app.offsetX = millimetreValue(v.millimetres[OffsetX]) * 4;
    app.offsetY = millimetreValue(v.millimetres[OffsetY]) * 4;
    app.marginX = millimetreValue(v.millimetres[MarginX]) * 4;
    app.marginY = millimetreValue(v.millimetres[MarginY]) * 4;
}
