#pragma once

// Control characters never enter a box of the program, whether typed, pasted or dropped: a NUL
// pasted into a remark would cut it short in a ledger file and be refused by a server ledger, and
// the others are invisible in a box and on paper. One filter on the application gives every line
// box a validator that drops them (a box with a validator of its own, a number or date box,
// keeps its own) and watches every plain-text box the same way. Tab and line feed stay.

#include <QValidator>

class QCoreApplication;

class CControlCharFilter : public QValidator {
    Q_OBJECT

public:
    explicit CControlCharFilter(QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
};

// Installs the filter on the application; each box gets its guard when it is first shown.
void GuardTypedText(QCoreApplication& app);
