#pragma once

// Where the launcher and the game keep their files, and the simple questions asked of a
// level entry. Nothing is cached: every call works its answer out afresh from the
// environment and the disk.

#include "platform/Bundle.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>

class QWidget;

enum InstallState : int
{
    NotInstalled = 0,    // downloadable, no install folder
    UpdateAvailable = 1, // installed, and the feed publishes a later version
    UpToDate = 2,        // installed, and the feed's version is not later
    NotDownloadable = 3, // no download URL: the built-in level, or a level from a local zip
};

// The game, found by the identifier under "QuillmorBundleIdentifier" in Info.plist.
std::optional<Bundle> getGameBundle();

// The folders are created on demand, with their parents; a folder that cannot be made is
// not reported, the caller meets the failure when it uses it.
std::optional<QString> getApplicationDir();
std::optional<QString> getGameLevelDir();
std::optional<QString> getDownloadDir();

// The form in which records store a URL: its absolute, percent-encoded string.
QString absoluteString(const QUrl& url);

// Whether the text is a web address just as absoluteString() would give it back: http or
// https, a host name in lower case, perhaps a port, then nothing that encoding would change.
// Such a text parses, and two of them name the same place only when they are equal, so a
// catalogue of many levels is compared without parsing each address.
bool isPlainWebAddress(QStringView text);

// The URL stored under the key; none for a missing or empty value or one that does not parse.
QUrl urlForKey(const QVariantMap& record, const QString& key);

InstallState checkInstall(const QVariantMap& entry);
bool canLaunch(const QVariantMap& entry);

// The level folder an archive unpacks into: its base name, followed by the number when it is
// 1 or more, inside the game level directory. None without a game, or when the archive URL
// names no file.
QUrl getInstallPathForZip(const QUrl& archive, int number);

bool checkLevelExists(const QUrl& folder);

// Moves the item to the Trash, or removes it for good where the Trash refuses it. True when
// the item is gone from its place.
bool moveToTrash(const QUrl& item);

// Moves the item at path to the Trash as if it had been taken from place: a level the install
// moved aside before trashing it is restored to its folder, not to where it was moved. Never
// removes anything; false when the item did not go to the Trash.
bool moveToTrashFrom(const QString& path, const QString& place);

// Starts the "New level installed!" sheet on the window and returns at once. With play, the
// sheet offers "Play" beside "OK", and play runs when it is chosen.
void showInstallSuccessfulAlert(QWidget* window, const QString& name,
                                std::function<void()> play = {});
