#pragma once

// Desktop services that need no window: applications by identifier through XDG desktop
// entries, the freedesktop Trash, and the per-user data folder.

#include "platform/Bundle.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace Workspace {

// The desktop entry file "<identifier>.desktop", or none.
std::optional<QString> absolutePathForAppWithIdentifier(const QString& identifier);
std::optional<Bundle> applicationBundle(const QString& identifier);
// The folders searched for desktop entries, in the order they are searched.
QStringList applicationFolders();

// Moves the item into the user's Trash. True only when it went there.
bool recycle(const QString& path);

// $XDG_DATA_HOME (default ~/.local/share), or none.
std::optional<QString> applicationSupportDir();

} // namespace Workspace
