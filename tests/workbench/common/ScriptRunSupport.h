#pragma once
// Scripted runs of the client program for the workbench tests: a demo installation written once per
// test program, and tarnix-client --script run on it as a subprocess.
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <memory>

#include "host/demo/DemoCompany.h"

class QTemporaryDir;

namespace wbtest {

struct ScriptOutput {
    int exitCode = -1; // -1 when the client did not end in time, -2 when it crashed
    QStringList out;
    QStringList err; // without Qt's warnings about the run-time directory
};

// A demo company of 12 lines scheduled from 2 March 2026, installed in a temporary directory.
class ScriptInstallation {
public:
    ScriptInstallation();
    // A demo company of its own making.
    explicit ScriptInstallation(const kv::demo::DemoOptions& options);
    ~ScriptInstallation();
    ScriptInstallation(const ScriptInstallation&) = delete;
    ScriptInstallation& operator=(const ScriptInstallation&) = delete;

    QString path() const;
    QString filePath(const QString& name) const;
    // Runs the statement on the installation's company database, as another program would, and gives
    // the rows it returns, values as stored.
    QList<QVariantList> query(const QString& sql) const;
    // Writes the script as fileName into the installation and runs the client on it there, with more
    // command-line arguments when given.
    ScriptOutput run(const QString& script, const QString& fileName = QStringLiteral("test.script"),
                     const QStringList& moreArgs = {}) const;

private:
    std::unique_ptr<QTemporaryDir> FDir;
};

} // namespace wbtest
