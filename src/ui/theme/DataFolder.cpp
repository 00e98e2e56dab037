#include "ui/theme/DataFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace plim {

Q_LOGGING_CATEGORY(lcData, "plim.data", QtWarningMsg)

QString ownDataFolder() {
    if (QCoreApplication::instance() == nullptr) {
        return {};
    }
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' + QStringLiteral(PLIM_DATA_FROM_BINDIR));
}

} // namespace plim
