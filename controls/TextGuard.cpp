#include "controls/TextGuard.h"
#include "data/JetSql.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

CControlCharFilter::CControlCharFilter(QObject* parent) : QValidator(parent) {
}

QValidator::State CControlCharFilter::validate(QString& input, int& pos) const {
    const QString kept = jet::withoutControlCharacters(input);
    if (kept.size() != input.size()) {
        // The caret stays behind what it was behind.
        pos -= int(input.left(pos).size() - jet::withoutControlCharacters(input.left(pos)).size());
        input = kept;
    }
    return Acceptable;
}

namespace {

// Removes what the filter drops from the part of a document that just changed.
void dropControlCharacters(QTextDocument* document, int position, int added) {
    const int end = std::min(position + added, document->characterCount());
    for (int i = end - 1; i >= position; --i) {
        // Line breaks are paragraph separators in a document; a tab stays.
        if (jet::isControlCharacter(document->characterAt(i))) {
            QTextCursor cursor(document);
            cursor.setPosition(i);
            cursor.setPosition(i + 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
    }
}

class TextGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Polish)
            return false;
        if (auto* line = qobject_cast<QLineEdit*>(watched)) {
            if (!line->validator())
                line->setValidator(new CControlCharFilter(line));
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(watched)) {
            watch(plain, plain->document());
        } else if (auto* rich = qobject_cast<QTextEdit*>(watched)) {
            watch(rich, rich->document());
        }
        return false;
    }

private:
    static void watch(QObject* box, QTextDocument* document) {
        if (box->property("rentbookTextGuard").toBool())
            return;
        box->setProperty("rentbookTextGuard", true);
        QObject::connect(document, &QTextDocument::contentsChange, box,
                         [document](int position, int, int added) {
                             if (added > 0)
                                 dropControlCharacters(document, position, added);
                         });
    }
};

} // namespace

void GuardTypedText(QCoreApplication& app) {
    app.installEventFilter(new TextGuard(&app));
}
