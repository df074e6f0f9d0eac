#include "print/PrintFontDlg.h"
#include "platform/FontChooser.h"
#include "platform/Services.h"
#include "print/PrintFonts.h"

#include "ui_PrintFontDlg.h"

CPrintFontDlg::CPrintFontDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CPrintFontDlg>()), m_fonts(printFonts()) {
    ui->setupUi(this);
    setFixedSize(size());
    for (int role = BodyFont; role <= BottomRemarkFont; ++role)
        connect(fontButton(role), &QPushButton::clicked, this, [this, role] { OnChooseFont(role); });
    connect(ui->restoreButton, &QPushButton::clicked, this, &CPrintFontDlg::OnRestore);
    connect(ui->saveButton, &QPushButton::clicked, this, &CPrintFontDlg::OnSave);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPrintFontDlg::~CPrintFontDlg() = default;

QPushButton* CPrintFontDlg::fontButton(int role) const {
    switch (role) {
    case TitleFont:
        return ui->titleButton;
    case HeadingFont:
        return ui->headingButton;
    case BottomRemarkFont:
        return ui->bottomButton;
    default:
        return ui->bodyButton;
    }
}

void CPrintFontDlg::OnChooseFont(int role) {
    if (role < BodyFont || role > BottomRemarkFont)
        return;
    QPushButton* button = fontButton(role);
    button->setEnabled(false);
    // Each choice starts from the font in force: an unsaved earlier choice is dropped.
    LogFont& working = m_fonts[std::size_t(role)];
    working = printFonts()[std::size_t(role)];
    const int dpi = logicalDpiY();
    if (const auto chosen = platform::chooseFont(this, toChooserFont(working, dpi)))
        working = fromQFont(*chosen, dpi, working.faceName);
    button->setEnabled(true);
}

void CPrintFontDlg::OnSave() {
    if (SavePrintFonts(m_fonts))
        platform::messageBox(this, QStringLiteral("保存成功！"), QStringLiteral("提示"),
                             platform::MsgIcon::Information);
    else
        platform::messageBox(this, QStringLiteral("字体文件FontSet.ini写入失败，新字体只在本次运行中有效！"),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
}

void CPrintFontDlg::OnRestore() {
    if (platform::messageBox(this, QStringLiteral("此操作会将现有字体恢复到软件默认的字体，是否继续？"),
                             QStringLiteral("确认"), platform::MsgIcon::Question,
                             platform::Yes | platform::No) != platform::Yes)
        return;
    if (!RestoreFactoryFonts()) {
        platform::messageBox(this, QStringLiteral("字体文件FontSet.ini写入失败，字体没有恢复！"),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return;
    }
    m_fonts = printFonts();
    platform::messageBox(this, QStringLiteral("恢复成功！"), QStringLiteral("成功"),
                         platform::MsgIcon::Information);
}
