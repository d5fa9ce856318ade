#pragma once
// Stand-in for the machine registry: an INI-format file whose sections are key paths, e.g.
//
//   [HKEY_LOCAL_MACHINE\Software\KVR\Steward]
//   ClientPath=/opt/tarnix/
//
// Its path comes from the environment variable TARNIX_REGISTRY; without it the file is
// /etc/tarnix/registry.ini. Key paths and value names match without regard to case.
#include <QString>
#include <optional>

#include "platform/IniFile.h"

namespace kv {

constexpr const char* kRegistryEnv = "TARNIX_REGISTRY";
constexpr const char* kDefaultRegistryFile = "/etc/tarnix/registry.ini";
constexpr const char* HKEY_LOCAL_MACHINE = "HKEY_LOCAL_MACHINE";
constexpr const char* HKEY_CURRENT_USER = "HKEY_CURRENT_USER";

QString registryFileName();

class RegistryKey {
public:
    // Opens a key read-only; empty when the registry file or the key does not exist.
    static std::optional<RegistryKey> openReadOnly(const QString& root, const QString& path);

    bool valueExists(const QString& name) const;
    QString readString(const QString& name, const QString& defaultValue = {}) const;
    const QString& path() const { return FPath; }

private:
    RegistryKey(IniFile file, QString path) : FFile(std::move(file)), FPath(std::move(path)) {}
    IniFile FFile;
    QString FPath;
};

}  // namespace kv
