// Another planner on the same installation: "client USER SCRIPT" runs a second client process with its
// own script to its end while this one waits, so a script can meet a save that came first.
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "host/client/ScriptRunner.h"

namespace {

constexpr int kClientLimitMs = 300000;
// A script that starts itself (or a ring of scripts) would start clients without end: each client
// tells the one it starts how deep it runs, and the deepest allowed starts no more.
constexpr int kMaxDepth = 4;
constexpr char kDepthVariable[] = "TARNIX_SCRIPT_DEPTH";

// How deep this client runs: 0 for one started by hand.
int clientDepth() {
    bool ok = false;
    const int depth = qEnvironmentVariableIntValue(kDepthVariable, &ok);
    return ok && depth > 0 ? depth : 0;
}

// The last line the other client wrote on stderr that is its own (Qt may add warnings before it).
QString lastOwnLine(const QByteArray& err) {
    const QList<QByteArray> lines = err.trimmed().split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->startsWith("tarnix-client:")) return QString::fromLocal8Bit(*it);
    return lines.isEmpty() ? QString() : QString::fromLocal8Bit(lines.last());
}

bool clientCommand(TScriptContext& c, const QStringList& args, QString& error) {
    if (args.size() != 2) {
        error = QStringLiteral("usage: client USER SCRIPT");
        return false;
    }
    const QString script = c.FilePath(args[1]);
    if (!QFileInfo(script).isFile()) {
        error = QStringLiteral("the script %1 does not exist").arg(args[1]);
        return false;
    }
    const int depth = clientDepth();
    if (depth >= kMaxDepth) {
        error = QStringLiteral("clients started by scripts nest at most %1 deep: %2 is not started")
                    .arg(kMaxDepth)
                    .arg(args[1]);
        return false;
    }
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kDepthVariable), QString::number(depth + 1));
    other.setProcessEnvironment(environment);
    other.start(QCoreApplication::applicationFilePath(),
                QStringList(c.ClientArguments) << QStringLiteral("--user") << args[0] << QStringLiteral("--script")
                                               << QFileInfo(script).absoluteFilePath());
    if (!other.waitForStarted(10000)) {
        error = QStringLiteral("the second client did not start: %1").arg(other.errorString());
        return false;
    }
    // This window keeps answering events while the other one works.
    if (!c.WaitFor([&other] { return other.state() == QProcess::NotRunning; }, kClientLimitMs)) {
        other.kill();
        other.waitForFinished(5000);
        error = QStringLiteral("the second client did not end within %1 s").arg(kClientLimitMs / 1000);
        return false;
    }
    for (const QByteArray& line : other.readAllStandardOutput().split('\n'))
        if (!line.isEmpty()) c.Print(QStringLiteral("client\t%1\t%2").arg(args[0], QString::fromUtf8(line)));
    if (other.exitStatus() != QProcess::NormalExit || other.exitCode() != 0) {
        error = QStringLiteral("the second client ended with status %1: %2")
                    .arg(other.exitStatus() == QProcess::NormalExit ? other.exitCode() : -1)
                    .arg(lastOwnLine(other.readAllStandardError()));
        return false;
    }
    c.Print(QStringLiteral("client\t%1\tdone").arg(args[0]));
    return true;
}

[[maybe_unused]] const bool registered = [] {
    RegisterScriptCommand(QStringLiteral("client"), clientCommand);
    return true;
}();

} // namespace
