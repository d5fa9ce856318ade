#include "platform/RegistryFile.h"

namespace kv {

QString registryFileName() {
    const QString fromEnv = qEnvironmentVariable(kRegistryEnv);
    return fromEnv.isEmpty() ? QString(kDefaultRegistryFile) : fromEnv;
}

std::optional<RegistryKey> RegistryKey::openReadOnly(const QString& root, const QString& path) {
    IniFile file(registryFileName());
    if (!file.exists())
        return std::nullopt;
    QString keyPath = path;
    while (keyPath.startsWith('\\'))
        keyPath.remove(0, 1);
    const QString section = root + "\\" + keyPath;
    if (!file.sectionExists(section))
        return std::nullopt;
    return RegistryKey(std::move(file), section);
}

bool RegistryKey::valueExists(const QString& name) const { return FFile.valueExists(FPath, name); }

QString RegistryKey::readString(const QString& name, const QString& defaultValue) const {
    return FFile.readString(FPath, name, defaultValue);
}

}  // namespace kv
