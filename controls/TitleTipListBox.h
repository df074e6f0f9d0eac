#pragma once

// A list box whose entries show their whole text as a tip when they are wider than the list.
// A drop-in QListWidget: promote a list in Designer to CTitleTipListBox with the header
// "controls/TitleTipListBox.h".

#include <QListWidget>

class CListTitleTip;
class CTitleTip;

class CTitleTipListBox : public QListWidget {
    Q_OBJECT

public:
    explicit CTitleTipListBox(QWidget* parent = nullptr);

    CTitleTip* titleTip() const;

private:
    CListTitleTip* m_titleTip;
};
