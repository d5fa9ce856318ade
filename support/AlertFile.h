#pragma once
// Where the daily alert logs go and how one line is appended; shared by the string library's log
// and the launcher settings' log.
#include <QString>

namespace kv::alertfile {

// Registry key the launcher leaves its installation paths under (local machine).
inline constexpr const char* kStewardKey = "Software\\KVR\\Steward";

// A path value of the launcher as a directory of this platform: backslashes become "/", and a
// non-empty result ends with "/".
QString normalizeDir(const QString& path);
// The launcher's client installation directory, else its server one, else "" (no key, no value).
QString launcherDirectory();
// Appends "[stamp] text" to dir/Log/fileName, creating the Log directory. A file name holding a path
// separator is refused, so a caller's name never writes outside the log directory.
bool appendLine(const QString& dir, const QString& fileName, const QString& stamp, const QString& text);

} // namespace kv::alertfile
