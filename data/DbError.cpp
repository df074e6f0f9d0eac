#include "data/DbError.h"

#include <sqlite3.h>

DbError::DbError(const QString& engineText, int engineCode)
    : std::runtime_error(engineText.toStdString()), m_engineText(engineText), m_engineCode(engineCode),
      m_message(ExplainEngineError(engineCode, engineText)) {
}

QString ExplainEngineError(int engineCode, const QString& engineText) {
    QString what;
    // The file was moved away under the open connection (another copy of the program started a
    // new ledger): writing on would go into the old file, so the engine refuses, as if read-only.
    if (engineCode == SQLITE_READONLY_DBMOVED)
        return QStringLiteral(
                   "账本文件已被替换或移走（可能是另一个运行中的本程序开始了新账本），本次操作没有完成。"
                   "请关闭本程序后重新启动，以打开现在的账本。\n\n详细信息：") +
               engineText;
    const bool server = (engineCode & kServerEngineFlag) != 0;
    if (engineCode == kServerConnectionLost)
        return QStringLiteral("与账本服务器的连接中断了，本次操作没有完成。请检查网络和服务器；"
                              "下一次操作时程序会自动重新连接。\n\n详细信息：") +
               engineText;
    if (engineCode == kServerWaitCancelled)
        return QStringLiteral("已停止等待账本服务器，本次操作没有完成，账本没有改动。\n\n详细信息：") +
               engineText;
    if (engineCode == kServerCommitUnknown)
        return QStringLiteral(
                   "提交时与账本服务器的连接中断了，程序重新连接后仍无法查明这次操作是否已经完成。"
                   "请在网络和服务器恢复后查看账本中的内容（例如记录列表），确认之后再决定是否重做，"
                   "以免重复保存。\n\n详细信息：") +
               engineText;
    switch (engineCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        if (server) {
            what = QStringLiteral("账本正被其他职员使用，等了几秒仍未轮到，本次操作没有完成。请稍后再试。");
            break;
        }
        what = QStringLiteral("账本正被其他程序使用，本次操作没有完成。请关闭使用账本的程序，或稍后再试。");
        break;
    case SQLITE_FULL:
        if (server) {
            what = QStringLiteral("账本服务器的磁盘已满，本次操作没有完成。请管理员腾出空间后再试。");
            break;
        }
        what = QStringLiteral("磁盘已满，账本无法写入，本次操作没有完成。请腾出磁盘空间后再试。");
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        what = QStringLiteral("账本文件已损坏。请用“管理数据”中的“导入恢复数据库”恢复最近的备份。");
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        if (server) {
            what = QStringLiteral("账本服务器不允许这个账户写入，本次操作没有完成。请管理员检查账户的权限。");
            break;
        }
        what = QStringLiteral(
            "账本文件是只读的，无法写入，本次操作没有完成。请检查账本文件及其文件夹的写入权限。");
        break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        what = QStringLiteral("读写账本文件时出错，本次操作没有完成。请检查磁盘或网络连接后再试。");
        break;
    default:
        if (engineText.contains(QLatin1String("no such table")) ||
            engineText.contains(QLatin1String("no such column")) ||
            engineText.contains(QLatin1String("has no column")) ||
            (server && engineText.contains(QLatin1String("does not exist"))))
            what = QStringLiteral("此账本是由其他程序或其他版本创建的，缺少本程序需要的表或列。");
        else
            what = QStringLiteral("账本操作没有完成。");
        break;
    }
    return what + QStringLiteral("\n\n详细信息：") + engineText;
}
