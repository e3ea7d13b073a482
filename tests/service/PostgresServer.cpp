#include "PostgresServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The programs of the newest PostgreSQL that Debian's packages installed.
std::string ServerPrograms() {
    std::error_code error;
    std::string best;
    int bestVersion = -1;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
        const std::string name = entry.path().filename().string();
        const int version = std::atoi(name.c_str());
        if (version > bestVersion &&
            std::filesystem::exists(entry.path() / "bin" / "pg_ctl", error)) {
            bestVersion = version;
            best = (entry.path() / "bin").string();
        }
    }
    return best;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace

PostgresServer::PostgresServer() {
    m_bin = ServerPrograms();
    if (m_bin.empty()) {
        m_notInstalled = true;
        m_problem = "no PostgreSQL server is installed (/usr/lib/postgresql/*/bin/pg_ctl; the "
                    "Debian package postgresql, which scripts/install-deps.sh installs)";
        return;
    }
    char folder[] = "/tmp/sorvel-postgres-XXXXXX";
    if (!mkdtemp(folder)) {
        m_problem = "cannot make a temporary folder";
        return;
    }
    m_folder = folder;
    if (geteuid() == 0) {
        const passwd* owner = getpwnam("postgres");
        if (!owner || chown(folder, owner->pw_uid, owner->pw_gid) != 0) {
            m_problem = "running as root, and the postgres user of the package is missing";
            return;
        }
    }
    if (Run("initdb", "-D " + Quoted(m_folder + "/data") +
                          " -A trust -E UTF8 --locale=C.UTF-8 -U postgres") != 0) {
        m_problem = "initdb failed; see " + m_folder + "/log";
        return;
    }
    // Only the socket in our own folder; no durability needed for a test's data.
    const std::string options = "-k " + m_folder + " -c listen_addresses= -c fsync=off" +
                                " -c synchronous_commit=off -c full_page_writes=off";
    if (Run("pg_ctl", "-D " + Quoted(m_folder + "/data") + " -l " +
                          Quoted(m_folder + "/server.log") + " -w -t 60 -o " + Quoted(options) +
                          " start") != 0) {
        m_problem = "the server did not start; see " + m_folder + "/server.log";
        return;
    }
    m_running = true;
}

PostgresServer::~PostgresServer() {
    if (m_running)
        Run("pg_ctl", "-D " + Quoted(m_folder + "/data") + " -m immediate -w stop");
    if (!m_folder.empty() && m_problem.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
}

bool PostgresServer::CreateDatabase(const std::string& name) {
    return m_running && Run("createdb", "-h " + Quoted(m_folder) + " -U postgres " + name) == 0;
}

std::string PostgresServer::Uri(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + m_folder + "&user=postgres";
}

bool PostgresServer::Execute(const std::string& uri, const std::string& sql) {
    return m_running && Run("psql", Quoted(uri) + " -v ON_ERROR_STOP=1 -c " + Quoted(sql)) == 0;
}

int PostgresServer::Run(const std::string& program, const std::string& arguments) {
    std::string command = Quoted(m_bin + "/" + program) + " " + arguments;
    if (geteuid() == 0) {
        // By its full path: root's PATH need not name the sbin folders.
        const char* runuser =
            std::filesystem::exists("/usr/sbin/runuser") ? "/usr/sbin/runuser" : "/sbin/runuser";
        command = std::string(runuser) + " -u postgres -- " + command;
    }
    command += " >>" + Quoted(m_folder + "/log") + " 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
