#pragma once
// Small helpers shared by the test programs.
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Directory of the built programs and plug-ins (bin/ of the build tree).
QString binDir();
// Root of the source tree.
QString sourceDir();
// Folder for the pictures a render test writes, one per topic: below $TARNIX_TEST_PICTURES when it is
// set, otherwise in a temporary folder that goes when the test program ends.
QString pictureDir(const QString& topic);
// Writes text (UTF-8) into a file, creating its directory; returns the file name.
QString writeFile(const QString& fileName, const QByteArray& content);
QByteArray readFile(const QString& fileName);

// Sets an environment variable for the lifetime of the object and restores the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* FName;
    QByteArray FOld;
    bool FHadOld;
};

}  // namespace testsupport
