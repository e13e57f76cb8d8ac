#include "platform/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace plat {

bool installQtRussian(QCoreApplication& app) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* texts = new QTranslator(&app);  // owned by the application
    if (!texts->load(QStringLiteral("qtbase_ru"), folder) || !QCoreApplication::installTranslator(texts)) {
        qInfo("Qt's Russian texts are not in %s: its dialogs stay English", qUtf8Printable(folder));
        delete texts;
        return false;
    }
    return true;
}

}  // namespace plat
