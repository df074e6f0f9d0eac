#pragma once

// "设置模版": the receipt's title, remarks, paper and millimetre corrections, and the buttons that
// open the table-line, font, custom-paper and printer dialogs. A save takes effect on the next
// receipt printed.

#include "settings/TemplateSettings.h"

#include <QWidget>

#include <memory>

namespace Ui {
class CTemplatePage;
}
class QLineEdit;

class CTemplatePage : public QWidget {
    Q_OBJECT

public:
    explicit CTemplatePage(QWidget* parent = nullptr);
    ~CTemplatePage() override;

    void LoadTemplate();
    // Checks and stores the page; false when a check refuses or the ledger does not open.
    bool SaveTemplate();
    void OnSave();
    void OnSelchangePaper();

    const TemplateValues& values() const { return m_values; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void pullForm();
    void pushForm();
    QLineEdit* millimetreBox(MillimetreField field) const;

    std::unique_ptr<Ui::CTemplatePage> ui;
    TemplateValues m_values;
};
