#include "app/RentbookApplication.h"
#include "controls/TextGuard.h"
#include "data/DbError.h"
#include "platform/Services.h"

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

RentbookApplication::RentbookApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Rentbook"));
    GuardTypedText(*this);
}

bool RentbookApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const DbError& e) {
        platform::messageBox(nullptr, e.message(), {}, platform::MsgIcon::Exclamation);
        return false;
    }
}

void RentbookApplication::setUpLook() {
    auto* translator = new QTranslator(this);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QFont font(QStringLiteral("Noto Sans CJK SC"), 9);
    setFont(font);
}
