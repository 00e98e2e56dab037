#pragma once

#include <QString>

#include <optional>

namespace plim {

// The per-user folder of what plim processes share at run time (the file locks, the resident
// program's lock and socket): $XDG_RUNTIME_DIR/plim, else a private folder in the temporary folder.
// Never beside the notes file, where a sync folder would carry it to other computers.
QString runtimeFolder();

// Makes `folder` a folder only this user can enter (0700), creating its parents when missing, and
// refuses a symlink or another user's folder.
std::optional<QString> ensurePrivateFolder(const QString& folder);

} // namespace plim
