#pragma once

// "自定义纸张大小": the width and height of the custom paper, in tenths of a millimetre.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CPaperSizeDlg;
}

class CPaperSizeDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPaperSizeDlg(QWidget* parent = nullptr);
    ~CPaperSizeDlg() override;

    void OnSave();

private:
    void pullForm();
    void pushForm();

    std::unique_ptr<Ui::CPaperSizeDlg> ui;
    QString m_strWidth;
    QString m_strHeight;
};
