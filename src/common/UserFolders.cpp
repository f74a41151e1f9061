#include "common/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstdlib>

namespace ocu {
namespace {

std::string Location(QStandardPaths::StandardLocation location) {
    return QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
}

// The base directory rules ignore a relative value; Qt (6.4) takes it as it stands, which would put the
// files wherever the program was started.
bool IsRelativeValue(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value && *value != '/';
}

std::string Folder(const char* variable, QStandardPaths::StandardLocation location, const char* inHome) {
    if (IsRelativeValue(variable))
        return QFile::encodeName(QDir::homePath()).toStdString() + inHome;
    return Location(location);
}

} // namespace

std::string ConfigFolder() {
    return Folder("XDG_CONFIG_HOME", QStandardPaths::GenericConfigLocation, "/.config");
}

std::string CacheFolder() {
    return Folder("XDG_CACHE_HOME", QStandardPaths::GenericCacheLocation, "/.cache");
}

std::string RuntimeFolder() {
    return IsRelativeValue("XDG_RUNTIME_DIR") ? std::string() : Location(QStandardPaths::RuntimeLocation);
}

} // namespace ocu
