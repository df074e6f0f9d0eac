#pragma once

// "设置表格线的粗细": the widths of the printed table's outline and inner rules.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CTableLineDlg;
}

class CTableLineDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTableLineDlg(QWidget* parent = nullptr);
    ~CTableLineDlg() override;

    void OnSave();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pullForm();
    void pushForm();

    std::unique_ptr<Ui::CTableLineDlg> ui;
    QString m_strOutline;
    QString m_strInner;
};
