#include "meterround/RoundStore.h"

#include "meterround/RoundStatements.h"

#include "data/Database.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"

namespace {

void prepare(ReceiptForm& form, const RoundRow& row, const RoundIssue& issue, const QString& number) {
    form = row.form;
    form.number = number;
    form.address = row.room;
    form.clerk = issue.clerk;
    form.payee = issue.payee;
    form.issueDate = issue.issued;
    const QDate first(issue.month.year(), issue.month.month(), 1);
    form.periodStart = QDateTime(first, QTime(0, 0));
    form.periodEnd = QDateTime(first.addMonths(1).addDays(-1), QTime(23, 0));
}

} // namespace

RoundStoreResult PlanRound(const QList<RoundRow>& rows, const QString& address) {
    RoundStoreResult plan;
    for (int i = 0; i < rows.size(); ++i) {
        const RoundRow& row = rows[i];
        if (row.charged() ||
            (!address.isEmpty() && AddressPart(row.room).compare(address, Qt::CaseInsensitive) != 0))
            continue;
        if (!row.hasReadings())
            plan.skipped << row.room;
        else if (row.blocked())
            plan.blocked << row.room + QStringLiteral("：") + row.marksText();
        else
            plan.stored.append({i, QString(), 0, {}});
    }
    return plan;
}

RoundStoreResult StoreRound(Database& db, QList<RoundRow>& rows, const RoundIssue& issue,
                            const RoundProgress& progress) {
    RoundStoreResult result = PlanRound(rows, issue.address);
    QList<RoundStored> toStore;
    result.stored.swap(toStore);
    if (toStore.isEmpty())
        return result;
    Transaction transaction(db);
    // Read under the write lock: what another clerk charged meanwhile is not charged again.
    QList<RoundRow> now = rows;
    RefreshCharged(db, issue.month, now);
    QString number = NextReceiptNumber(db);
    int done = 0;
    for (RoundStored& item : toStore) {
        if (now[item.row].charged()) {
            result.chargedSince << rows[item.row].room;
            continue;
        }
        // Numbers typed by hand may lie ahead of the last one: step on until one is free.
        while (ReceiptNumberTaken(db, number))
            number = NextReceiptNumber(number);
        prepare(item.form, rows[item.row], issue, number);
        item.number = number;
        item.key = db.insert(InsertReceiptStatement(item.form));
        result.stored << item;
        number = NextReceiptNumber(number);
        if (progress && !progress(++done, int(toStore.size()))) {
            result.stored.clear();
            result.cancelled = true;
            return result; // the transaction rolls back
        }
    }
    if (!result.stored.isEmpty()) {
        const long long lastKey = result.stored.last().key;
        transaction.setProof([lastKey](Database& ledger) {
            return !ledger.query(QStringLiteral("select [id] from RECEIPT where [id] = ?"), {lastKey})
                        .isEOF();
        });
    }
    transaction.commit();
    for (const RoundStored& item : result.stored) {
        rows[item.row].chargedNumber = item.number;
        rows[item.row].form.number = item.number;
    }
    return result;
}

QString RoundStoreSummary(const RoundStoreResult& r) {
    QStringList lines;
    if (r.stored.isEmpty())
        lines << QStringLiteral("没有开出收据。");
    else
        lines << QStringLiteral("已开单%1张（%2至%3）。")
                     .arg(r.stored.size())
                     .arg(r.stored.first().number, r.stored.last().number);
    if (!r.chargedSince.isEmpty())
        lines << QStringLiteral("已由他人开单，未再开：") + r.chargedSince.join(QStringLiteral("、"));
    if (!r.blocked.isEmpty())
        lines << QStringLiteral("有问题未开单：\n") + r.blocked.join(QLatin1Char('\n'));
    if (!r.skipped.isEmpty())
        lines << QStringLiteral("未抄表，已跳过%1间：").arg(r.skipped.size()) +
                     r.skipped.join(QStringLiteral("、"));
    return lines.join(QLatin1Char('\n'));
}
