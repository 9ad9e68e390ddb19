#include "persist/default_session.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace geminor {

std::string DefaultSessionPath()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Geminor");
    QDir().mkpath(folder);
    return QFile::encodeName(folder + QStringLiteral("/Default.gmr")).toStdString();
}

}  // namespace geminor
