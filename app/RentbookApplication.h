#pragma once

#include <QApplication>

// The application object. A database error that a handler lets pass is reported here, at the
// event loop, with the engine's text; the handler that raised it simply ends.
class RentbookApplication : public QApplication {
    Q_OBJECT
public:
    RentbookApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Qt's own texts in Chinese, the CJK application font and the print font substitutions.
    void setUpLook();
};
