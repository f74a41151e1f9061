#include "common/UserFolders.h"

#include <QFile>
#include <QStandardPaths>

namespace ocu {
namespace {

std::string Location(QStandardPaths::StandardLocation location) {
    return QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
}

} // namespace

std::string ConfigFolder() {
    return Location(QStandardPaths::GenericConfigLocation);
}

std::string CacheFolder() {
    return Location(QStandardPaths::GenericCacheLocation);
}

std::string RuntimeFolder() {
    return Location(QStandardPaths::RuntimeLocation);
}

} // namespace ocu
