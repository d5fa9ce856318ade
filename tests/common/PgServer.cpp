#include "common/PgServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

QString findBinDir() {
    const QString fixed = "/usr/lib/postgresql/15/bin";
    if (QFileInfo::exists(fixed + "/initdb")) return fixed;
    QDir root("/usr/lib/postgresql");
    for (const QString& version :
         root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed))
        if (QFileInfo::exists(root.filePath(version + "/bin/initdb"))) return root.filePath(version + "/bin");
    return {};
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

} // namespace

PgServer& PgServer::shared() {
    static PgServer server;
    return server;
}

int PgServer::run(const QString& command, bool asPostgres) const {
    QString line = command;
    if (asPostgres && ::geteuid() == 0) line = "runuser -u postgres -- " + command;
    return std::system((line + " >/dev/null 2>&1").toLocal8Bit().constData());
}

PgServer::PgServer() {
    FBinDir = findBinDir();
    if (FBinDir.isEmpty()) {
        FError = "no PostgreSQL server binaries (initdb) are installed";
        return;
    }
    FDataDir = QDir::tempPath() + QString("/tarnix-pg-%1-%2").arg(::getpid()).arg(freePort());
    QDir().mkpath(FDataDir);
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw) {
            FError = "running as root, but there is no postgres user to run the server";
            return;
        }
        if (::chown(FDataDir.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0) {
            FError = "cannot hand the data directory to the postgres user";
            return;
        }
    }
    QFile::setPermissions(FDataDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (run(QString("%1/initdb -D %2 -A trust -U postgres -E UTF8 --locale=C --no-sync")
                .arg(FBinDir, FDataDir),
            true) != 0) {
        FError = "initdb failed in " + FDataDir;
        return;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int port = freePort();
        const QString options =
            QString("-p %1 -c listen_addresses=127.0.0.1 -k %2 -c fsync=off -c full_page_writes=off")
                .arg(port)
                .arg(FDataDir);
        if (run(QString("%1/pg_ctl -D %2 -o '%3' -l %2/server.log -w -t 30 start")
                    .arg(FBinDir, FDataDir, options),
                true) == 0) {
            FPort = port;
            return;
        }
    }
    FError = "the PostgreSQL server did not start (see " + FDataDir + "/server.log)";
}

PgServer::~PgServer() {
    if (FPort > 0) run(QString("%1/pg_ctl -D %2 -m immediate -w stop").arg(FBinDir, FDataDir), true);
    if (!FDataDir.isEmpty()) QDir(FDataDir).removeRecursively();
}

QString PgServer::createDatabase(const QString& prefix) {
    if (!available()) return {};
    const QString name = QString("%1_%2").arg(prefix.toLower()).arg(++FDatabases);
    run(QString("%1/createdb -h 127.0.0.1 -p %2 -U postgres %3").arg(FBinDir).arg(FPort).arg(name), false);
    return name;
}

QString PgServer::connectString(const QString& database) const {
    return QString(
               "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=postgres;Initial Catalog=%1;"
               "Data Source=pgsql:127.0.0.1:%2;Auto Translate=False;Connect Timeout=10;"
               "Extended Properties=\"Command Timeout=30\"")
        .arg(database)
        .arg(FPort);
}

QString PgServer::odbcConnectString(const QString& database) const {
    return QString(
               "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=postgres;Initial Catalog=%1;"
               "Data Source=\"odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%2\";Auto "
               "Translate=False;"
               "Connect Timeout=10;Extended Properties=\"Command Timeout=30\"")
        .arg(database)
        .arg(FPort);
}

} // namespace testsupport
