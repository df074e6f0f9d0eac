#pragma once

// "查询": narrows the stored receipts by number, address, issue dates, clerk, payee and remark.
// Each "确定(&S)" hands the search to the main window's list; the dialog stays open for the next.

#include "data/SqlStatement.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class CQueryDlg;
}
class QWheelEvent;

// Where a search goes: the main window runs the statement and shows what it finds.
using QueryTarget = std::function<void(const SqlStatement& statement)>;

class CQueryDlg : public QDialog {
    Q_OBJECT

public:
    explicit CQueryDlg(QueryTarget target, QWidget* parent = nullptr);
    ~CQueryDlg() override;

    void OnQuery();

    // The receipt-number box lists only the newest numbers: a pick-list of a whole large ledger
    // would take long to fill and nobody scrolls it; typed numbers still search every receipt.
    static constexpr int kNumberListLimit = 1000;

protected:
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void FillLists();
    void StepDates(int delta);
    void pullForm();
    void pushForm();

    std::unique_ptr<Ui::CQueryDlg> ui;
    QueryTarget m_target;
    bool m_initialised = false;

    QString m_strAddress;
    QString m_strPayee;
    QString m_strNo;
    QString m_strAccountant;
    QString m_strRemark;
    QDateTime m_timeFrom;
    QDateTime m_timeTo;
};
