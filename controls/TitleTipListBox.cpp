#include "controls/TitleTipListBox.h"

#include "controls/TitleTip.h"

CTitleTipListBox::CTitleTipListBox(QWidget* parent)
    : QListWidget(parent), m_titleTip(new CListTitleTip(this)) {
}

CTitleTip* CTitleTipListBox::titleTip() const {
    return m_titleTip->tip();
}
