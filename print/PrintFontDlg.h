#pragma once

// "设置打印字体": the four print fonts, chosen with the font chooser, saved to "FontSet.ini" and
// applied at once; the factory fonts can be restored.

#include "print/LogFont.h"

#include <QDialog>

#include <array>
#include <memory>

class QPushButton;

namespace Ui {
class CPrintFontDlg;
}

class CPrintFontDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPrintFontDlg(QWidget* parent = nullptr);
    ~CPrintFontDlg() override;

    // The working copies, one per role (PrintFontIndex).
    const std::array<LogFont, 4>& workingFonts() const { return m_fonts; }

    void OnChooseFont(int role);
    void OnSave();
    void OnRestore();

private:
    QPushButton* fontButton(int role) const;

    std::unique_ptr<Ui::CPrintFontDlg> ui;
    std::array<LogFont, 4> m_fonts;
};
