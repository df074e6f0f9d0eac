#pragma once

// "客户管理表": the tenant register. Lists the tenants, narrows them by any of six text fields, and
// adds, amends and deletes them. The form remembers which tenant it shows, so that "修改(&U)"
// changes that tenant however a search or a deletion has moved the rows since.

#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

namespace Ui {
class CTenantDlg;
}
class Database;
class QKeyEvent;
class TenantListModel;
struct TenantValues;

class CTenantDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTenantDlg(QWidget* parent = nullptr);
    ~CTenantDlg() override;

    // The room the register opens on; empty lists every tenant.
    void setPresetAddress(const QString& address) { m_strPresetAddress = address; }

    void FillAddressCombo();
    void QueryTenants();
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnPickRow();

    TenantListModel* tenantModel() const { return m_model; }
    // The tenant whose data the form shows; 0 for none.
    qint64 shownTenantId() const { return m_nTenantId; }

protected:
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void StepDates(int delta);
    bool TypeIntoPicker(QDateTimeEdit* picker, const QKeyEvent* key);
    void pullForm();
    void pushForm();
    TenantValues formValues() const;
    void showRow(int row);
    // Brings a row up to the tenant as stored now (gone: the row goes); the tenant's new version,
    // 0 when it is gone.
    std::uint64_t refreshTenant(Database& db, qint64 id);

    std::unique_ptr<Ui::CTenantDlg> ui;
    TenantListModel* m_model;
    bool m_initialised = false;
    bool m_bInWheel = false; // a wheel turn is being passed on after its step: let it through
    // The picker a digit was last typed into, and its section then: a separator typed right after
    // that digit filled the section has been answered already by the move to the next.
    QDateTimeEdit* m_typedPicker = nullptr;
    QDateTimeEdit::Section m_typedSection = QDateTimeEdit::NoSection;

    QString m_strAddress;
    QString m_strCard;
    QString m_strCompany;
    QString m_strName;
    QString m_strTel;
    QString m_strQQ;
    QString m_strDeposit;
    QString m_strRent;
    QDateTime m_timeFrom;
    QDateTime m_timeTo;
    int m_nPickedRow = -1;
    qint64 m_nTenantId = 0;
    // The tenant as the form took it: Modify stores over that and nothing else.
    std::uint64_t m_nTenantVersion = 0;
    QString m_strPresetAddress;
};
