#pragma once

// A line in the main window while the ledger's server cannot be reached: since when, and that the
// program keeps trying. It covers the hint line and goes when the server answers again. Reads in
// the background report there rather than in a message box that would take the keyboard from the
// clerk mid-word.

#include <QLabel>

class ServerStatusLine : public QLabel {
    Q_OBJECT

public:
    // Shown in place of the widget under, which is hidden meanwhile.
    ServerStatusLine(QWidget* under, QWidget* parent);

    // Shows the server's state as it is now (it follows it by itself).
    void showState();

private:
    QWidget* m_under;
};
