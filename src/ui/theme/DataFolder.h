#pragma once

#include <QLoggingCategory>
#include <QString>

namespace plim {

// Where the program found its own files; `QT_LOGGING_RULES=plim.data.info=true` prints it.
Q_DECLARE_LOGGING_CATEGORY(lcData)

// The share folder that goes with the running executable: <prefix>/share for <prefix>/bin/plim.
// The build tree has the same shape (build/src/plim and build/share), so the program finds its
// fonts and icon alike when installed, unpacked from the package anywhere, or run from the build.
// Empty without an application object.
QString ownDataFolder();

} // namespace plim
