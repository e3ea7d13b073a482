#pragma once

#include <string>

// A PostgreSQL server of the test's own, from the Debian package's programs: a new cluster in a
// temporary folder, reached only through a Unix socket in that folder (no TCP port to collide
// with), with trust authentication, stopped and deleted at the end. PostgreSQL refuses to run as
// root, so under root the cluster belongs to the package's "postgres" user and its programs run
// as that user (runuser).
class PostgresServer final {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Why there is no server (for a skipped test); empty when it runs.
    const std::string& Problem() const { return m_problem; }
    // True when the server's programs are not installed: the only reason to skip.
    bool NotInstalled() const { return m_notInstalled; }

    // A new, empty database; false when it cannot be made.
    bool CreateDatabase(const std::string& name);
    // The libpq connection URI of a database.
    std::string Uri(const std::string& database) const;
    // Runs SQL (psql) on the database at the URI; false when it fails.
    bool Execute(const std::string& uri, const std::string& sql);

private:
    // Runs one of the server's programs (as the cluster's owner); its exit code, -1 when it
    // could not run. Output goes to the cluster folder's log.
    int Run(const std::string& program, const std::string& arguments);

    std::string m_bin;    // the folder of initdb, pg_ctl, createdb
    std::string m_folder; // the cluster's folder, also where its socket is
    std::string m_problem;
    bool m_notInstalled = false;
    bool m_running = false;
};
