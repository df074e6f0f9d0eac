#include "receipt/ReceiptNumber.h"
#include "data/Database.h"
#include "receipt/ReceiptStatements.h"

QString NextReceiptNumber(const QString& lastNo) {
    qsizetype digits = 0;
    while (digits < lastNo.size() && lastNo.at(digits) >= QLatin1Char('0') &&
           lastNo.at(digits) <= QLatin1Char('9'))
        ++digits;
    QString number = lastNo.left(digits);
    // Add one from the right, carrying through nines.
    qsizetype i = number.size() - 1;
    for (; i >= 0 && number.at(i) == QLatin1Char('9'); --i)
        number[i] = QLatin1Char('0');
    if (i >= 0)
        number[i] = QChar(number.at(i).unicode() + 1);
    else
        number.prepend(QLatin1Char('1'));
    // The value decides the width, not the zeros it was written with.
    qsizetype lead = 0;
    while (lead < number.size() - 1 && number.at(lead) == QLatin1Char('0'))
        ++lead;
    number.remove(0, lead);
    if (number.size() < 7)
        number.prepend(QString(7 - number.size(), QLatin1Char('0')));
    return number;
}

QString NextReceiptNumber(Database& db) {
    // Only the first row is read: the newest id comes first straight from the key.
    Recordset rs = db.query(LastReceiptQueryStatement());
    if (rs.isEOF())
        return NextReceiptNumber(QString());
    return NextReceiptNumber(rs.field(1));
}
