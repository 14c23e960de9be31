#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace app {

namespace {

std::unique_ptr<QTranslator>& installed(int which) {
    static std::unique_ptr<QTranslator> translators[2];
    return translators[which];
}

void replace(int which, std::unique_ptr<QTranslator> translator) {
    std::unique_ptr<QTranslator>& slot = installed(which);
    if (slot)
        QCoreApplication::removeTranslator(slot.get());
    slot = std::move(translator);
    if (slot)
        QCoreApplication::installTranslator(slot.get());
}

} // namespace

QStringList TranslationDirs(const QString& extraDir) {
    QStringList dirs;
    if (!extraDir.isEmpty())
        dirs << extraDir;
    const QString programDir = QCoreApplication::applicationDirPath();
    dirs << programDir + QStringLiteral("/translations")
         << QDir::cleanPath(programDir + QStringLiteral("/../share/dralvo/translations"));
    return dirs;
}

QString InstallTranslations(const QLocale& locale, const QString& extraDir) {
    replace(0, nullptr);
    replace(1, nullptr);
    // English is the language of the code: no file to load.
    if (locale.language() == QLocale::C || locale.language() == QLocale::English)
        return QString();
    QString loaded;
    for (const QString& dir : TranslationDirs(extraDir)) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, QStringLiteral("dralvo"), QStringLiteral("_"), dir)) {
            loaded = translator->filePath();
            replace(0, std::move(translator));
            break;
        }
    }
    if (loaded.isEmpty())
        return loaded;
    // The toolkit's own texts (file dialog, context menus), when installed.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        replace(1, std::move(qt));
    return loaded;
}

} // namespace app
