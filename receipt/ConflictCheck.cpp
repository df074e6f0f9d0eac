#include "receipt/ConflictCheck.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptStatements.h"

#include "data/Database.h"
#include "data/RowVersion.h"
#include "records/RecordStatements.h"

std::optional<std::uint64_t> ReceiptVersionByKey(Database& db, long long key) {
    Recordset rs = db.query(QStringLiteral("select * from RECEIPT where [id] = ?"), {key});
    if (rs.isEOF())
        return std::nullopt;
    return ReceiptRowVersion(rs);
}

AmendResult AmendReceipt(Database& db, const ReceiptForm& form, long long key,
                         const std::optional<QStringList>& opened) {
    AmendResult out;
    Transaction transaction(db);
    const std::optional<QStringList> stored = ReceiptByKey(db, key);
    if (!stored) {
        out.conflict = ReceiptConflict::Deleted;
        return out;
    }
    if (stored != opened) {
        out.conflict = ReceiptConflict::Changed;
        return out;
    }
    db.execute(UpdateReceiptStatement(form, key));
    out.version = ReceiptVersionByKey(db, key).value_or(0);
    transaction.setProof([key, version = out.version](Database& ledger) {
        return ReceiptVersionByKey(ledger, key) == version;
    });
    transaction.commit();
    return out;
}

QString AmendConflictMessage(ReceiptConflict conflict, const QString& number) {
    switch (conflict) {
    case ReceiptConflict::Deleted:
        return QStringLiteral("这张收据（单号%1）已被其他职员删除，修改没有保存。您填写的内容仍在表单中，"
                              "可以另存为新收据。")
            .arg(number);
    case ReceiptConflict::Changed:
        return QStringLiteral(
                   "这张收据（单号%1）在您打开之后已被其他职员修改，为免覆盖对方的修改，这次没有保存。"
                   "请重新打开这张收据查看后再修改。")
            .arg(number);
    case ReceiptConflict::None:
        break;
    }
    return {};
}

ReceiptConflict DeleteListedReceipt(Database& db, long long key, std::uint64_t listedVersion) {
    Transaction transaction(db);
    const std::optional<std::uint64_t> stored = ReceiptVersionByKey(db, key);
    if (!stored)
        return ReceiptConflict::Deleted;
    if (*stored != listedVersion)
        return ReceiptConflict::Changed;
    db.execute(DeleteReceiptStatement(key));
    transaction.setProof([key](Database& ledger) { return !ReceiptVersionByKey(ledger, key); });
    transaction.commit();
    return ReceiptConflict::None;
}

QString DeleteConflictMessage(int deleted, const QStringList& deletedMeanwhile,
                              const QStringList& changedMeanwhile) {
    const QString separator = QStringLiteral("、");
    QStringList lines;
    if (deleted > 0)
        lines << QStringLiteral("已删除%1条记录。").arg(deleted);
    if (!deletedMeanwhile.isEmpty())
        lines << QStringLiteral("单号为%1的收据已被其他职员删除。").arg(deletedMeanwhile.join(separator));
    if (!changedMeanwhile.isEmpty())
        lines << QStringLiteral("单号为%1的收据在列表显示之后已被其他职员修改，没有删除。列表已更新，"
                                "请查看后再决定是否删除。")
                     .arg(changedMeanwhile.join(separator));
    return lines.join(QLatin1Char('\n'));
}
