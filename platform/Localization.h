#pragma once

// The application's strings table: the English text is the key and shows wherever no
// translation is installed. Texts passed here are marked where they are written with
// QT_TRANSLATE_NOOP("Quillmor", ...), which is how lupdate finds them.

#include <QString>
#include <QStringList>

#include <optional>

QString localizedString(const char* english);

// The folders that may hold the launcher's compiled catalogues: beside the program in a build
// tree, and share/quillmor-launcher/translations under the prefix it is installed in.
QStringList translationFolders();

// The launcher's catalogue for the first of the user's languages (most wanted first) that has
// one. English, the language the texts are written in, needs none: a user who ranks it above
// the others gets none.
std::optional<QString> findTranslation(const QStringList& uiLanguages, const QStringList& folders);

// Installs that catalogue, with Qt's own catalogue for the same language when it is present.
void installTranslations(const QStringList& uiLanguages, const QStringList& folders);
