#pragma once
// The program speaks the user's language where a translation exists
// (translations/dralvo_<language>.ts, compiled into .qm files), and English
// otherwise, also in the C/POSIX locale. Only what the user reads changes:
// object names, settings and log records are the same in every language.
#include <QLocale>
#include <QString>
#include <QStringList>

namespace app {

// Where the .qm files are looked for, in this order: extraDir when given,
// translations/ beside the program (the build tree), then
// ../share/dralvo/translations from the program's folder (an installed tree).
QStringList TranslationDirs(const QString& extraDir = QString());

// Installs the translation for locale's languages (replacing one installed
// before), and Qt's own texts for them when the system has them. Returns the
// file loaded, or an empty text when the program stays English.
QString InstallTranslations(const QLocale& locale, const QString& extraDir = QString());

} // namespace app
