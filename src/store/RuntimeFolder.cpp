#include "store/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString runtimeFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return QFile::decodeName(runtime) + QStringLiteral("/plim");
    }
    // Qt's own fallback warns on standard error on every call, which would clutter every command.
    return QDir::tempPath() + QStringLiteral("/plim-") + QString::number(::geteuid());
}

std::optional<QString> ensurePrivateFolder(const QString& folder) {
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        int error = errno;
        if (error == ENOENT && QDir().mkpath(QFileInfo(folder).absolutePath())) {
            error = ::mkdir(name.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
        }
        if (error != 0) {
            return QStringLiteral("cannot create %1 (%2)").arg(folder, errnoText(error));
        }
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        return QStringLiteral("cannot use %1 (%2)").arg(folder, errnoText(errno));
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return QStringLiteral("cannot use %1 (not a folder of yours)").arg(folder);
    }
    if ((st.st_mode & 07777) != 0700 && ::chmod(name.constData(), 0700) != 0) {
        return QStringLiteral("cannot use %1 (%2)").arg(folder, errnoText(errno));
    }
    return std::nullopt;
}

} // namespace plim
