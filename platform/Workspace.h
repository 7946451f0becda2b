#pragma once

// Desktop services that need no window: applications by identifier through XDG desktop
// entries, the freedesktop Trash, and the per-user data folder.

#include "platform/Bundle.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace Workspace {

// Folders searched for desktop entries, most important first: $XDG_DATA_HOME/applications,
// then each $XDG_DATA_DIRS folder's applications/.
QStringList applicationFolders();

// The desktop entry file "<identifier>.desktop", or none.
std::optional<QString> absolutePathForAppWithIdentifier(const QString& identifier);
std::optional<Bundle> applicationBundle(const QString& identifier);

// The program of a desktop entry's Exec= value: quoting undone, field codes dropped,
// resolved through PATH when relative. None for an empty line.
std::optional<QString> programOfExecLine(const QString& exec);

// Moves the item into the user's Trash. True only when it went there.
bool recycle(const QString& path);

// $XDG_DATA_HOME (default ~/.local/share), or none.
std::optional<QString> applicationSupportDir();

} // namespace Workspace
