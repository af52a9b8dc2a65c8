#include "panel/load_server_connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace varlo {

std::variant<std::unique_ptr<ServerConnection>, std::string>
loadServerConnection(const ServerAddress& server)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString name = QStringLiteral(VARLO_SERVER_LINK_MODULE);
    QString path = programDir.filePath(name);
    if (!QFileInfo::exists(path))
        path = programDir.filePath(QStringLiteral(VARLO_MODULE_DIR_FROM_PROGRAM "/") + name);
    // Never unloaded: the connection's code must outlive every connection.
    QLibrary module(QDir::cleanPath(path));
    const auto open =
        reinterpret_cast<OpenServerConnection>(module.resolve(OpenServerConnectionSymbol));
    if (open == nullptr)
        return module.errorString().toStdString();
    return std::unique_ptr<ServerConnection>(open(&server));
}

} // namespace varlo
