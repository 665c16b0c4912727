#include "platform/ToolkitTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QStringList LoadToolkitTranslations(QCoreApplication& application) {
    // The program speaks Simplified Chinese whatever the system's language,
    // so the toolkit does too. qtmultimedia is named beside qtbase because
    // Debian's meta catalogue "qt" only points at those two; qtwebengine is
    // outside it.
    static const char* const catalogues[] = {"qtbase", "qtmultimedia", "qtwebengine"};
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QStringList loaded;
    for (const char* name : catalogues) {
        auto* translator = new QTranslator(&application);
        const QString file = QLatin1String(name) + QStringLiteral("_zh_CN");
        if (translator->load(file, folder) && QCoreApplication::installTranslator(translator)) {
            loaded << file;
        } else {
            delete translator;
        }
    }
    return loaded;
}
