#pragma once
// A throwaway PostgreSQL server for tests: initialised in a temporary directory, listening on a free
// loopback port, stopped and removed when the test program ends. As root the server runs as the
// postgres user (initdb refuses root).
#include <QString>

namespace testsupport {

class PgServer {
public:
    // The server of this test program, started on first use.
    static PgServer& shared();

    // False when no server binaries are installed: the only reason to skip a server test.
    bool installed() const { return !FBinDir.isEmpty(); }
    // False when the server is not installed or did not start; see error().
    bool available() const { return FPort > 0; }
    QString error() const { return FError; }
    int port() const { return FPort; }

    // A new, empty database; its name starts with prefix.
    QString createDatabase(const QString& prefix);
    // Connection strings in the launcher's OLE DB format: directly and through ODBC.
    QString connectString(const QString& database) const;
    QString odbcConnectString(const QString& database) const;

    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

private:
    PgServer();
    int run(const QString& command, bool asPostgres) const;

    QString FBinDir;
    QString FDataDir;
    QString FError;
    int FPort = 0;
    int FDatabases = 0;
};

} // namespace testsupport
