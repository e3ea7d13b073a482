// sorvel-service: the search service, pages and thumbnails that Sorvel Browser talks to.

#include "service/Catalog.h"
#include "service/ServiceServer.h"
#include "service/Text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <pthread.h>
#include <set>
#include <string>
#include <string_view>
#include <thread>

namespace {

const char* const DefaultCatalogName = "catalog.sqlite";
// Far more than a machine's processors; each is a connection to the catalogue.
constexpr int MaxThreads = 256;

const char* const Usage =
    "Usage: sorvel-service [--listen ADDRESS] [--port PORT] [--catalog CATALOGUE]\n"
    "                      [--threads N] [--public-url URL] [--trusted-proxy ADDRESS ...]\n"
    "       sorvel-service import FILE.tsv --catalog CATALOGUE\n"
    "\n"
    "The search service of Sorvel Browser: answers the program's search requests from a video\n"
    "catalogue and serves the top page, the software information page, the site root, one page\n"
    "per video, the thumbnails and /healthz.\n"
    "\n"
    "  --listen ADDRESS       address to listen on (default 127.0.0.1)\n"
    "  --port PORT            port to listen on (default 8780; 0 takes a free port)\n"
    "  --catalog CATALOGUE    a SQLite catalogue file, a tab-separated text file (read into\n"
    "                         memory), or a PostgreSQL database as postgresql://...\n"
    "                         (default: catalog.sqlite beside the executable, else in\n"
    "                         ../share/sorvel/ from it)\n"
    "  --threads N            requests worked on at once, each with a catalogue connection of\n"
    "                         its own (default: the number of processors)\n"
    "  --public-url URL       the address clients reach the service at (https://host/path):\n"
    "                         every absolute address of the answer and the pages starts with it\n"
    "  --trusted-proxy ADDRESS\n"
    "                         a reverse proxy's IP address whose X-Forwarded-Proto and\n"
    "                         X-Forwarded-Host are honoured (may be given more than once)\n"
    "  --help                 show this text\n"
    "\n"
    "import reads the tab-separated file and replaces the catalogue with it in one transaction\n"
    "(a SQLite file is made when missing); a file with a fault leaves the catalogue as it was.\n"
    "\n"
    "Prints \"listening on http://ADDRESS:PORT/\" on standard output once it serves, logs one\n"
    "line per request on standard error and ends on SIGINT or SIGTERM; SIGHUP does not end it.\n";

struct Options {
    std::string address = "127.0.0.1";
    int port = 8780;
    std::string catalog;
    int threads = 0;
    ServiceOptions service;
    std::string importFile; // set for "import FILE"
    bool help = false;
};

bool Fail(const std::string& message) {
    std::fprintf(stderr, "sorvel-service: %s\n", message.c_str());
    return false;
}

// Reads the command line; returns false (with a message on standard error) when it cannot.
bool ReadOptions(int argc, char** argv, Options& options) {
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "import") {
        if (argc < 3 || std::string(argv[2]).rfind("--", 0) == 0)
            return Fail("import needs the catalogue file to read");
        options.importFile = argv[2];
        first = 3;
    }
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('=');
            arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        static const std::set<std::string> withValue = {
            "--listen", "--port", "--catalog", "--threads", "--public-url", "--trusted-proxy"};
        if (!withValue.count(arg)) {
            std::fprintf(stderr, "sorvel-service: unknown option '%s'\n%s", argv[i], Usage);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc)
                return Fail(arg + " needs a value");
            value = argv[++i];
        }
        if (arg == "--listen") {
            options.address = value;
        } else if (arg == "--port") {
            if (!ParseInt(value, options.port) || options.port < 0 || options.port > 65535)
                return Fail("'" + value + "' is no port number");
        } else if (arg == "--threads") {
            if (!ParseInt(value, options.threads) || options.threads < 1 ||
                options.threads > MaxThreads)
                return Fail("--threads takes a number from 1 to " + std::to_string(MaxThreads));
        } else if (arg == "--public-url") {
            if (!NormalisePublicUrl(value, options.service.publicUrl))
                return Fail("'" + value + "' is no http or https address of a host");
        } else if (arg == "--trusted-proxy") {
            in6_addr address{};
            if (!ParseIpAddress(value, address))
                return Fail("'" + value + "' is no IP address");
            options.service.trustedProxies.push_back(address);
        } else {
            options.catalog = value;
        }
    }
    if (!options.importFile.empty() && options.catalog.empty() && !options.help)
        return Fail("import needs --catalog: the SQLite file or PostgreSQL database to load");
    return true;
}

// catalog.sqlite beside the executable (a build tree), else in ../share/sorvel/ from it (an
// installed copy); empty when neither is there.
std::string DefaultCatalog() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path folder = exe.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / DefaultCatalogName,
          folder.parent_path() / "share" / "sorvel" / DefaultCatalogName}) {
        if (std::filesystem::exists(candidate, error))
            return candidate.string();
    }
    return {};
}

// The location as a log may show it: a PostgreSQL address without its password (in the user
// part or as a parameter).
std::string ShownLocation(std::string location) {
    if (!IsPostgresLocation(location))
        return location;
    const std::size_t scheme = location.find("://") + 3;
    const std::size_t at = location.find('@', scheme);
    const std::size_t end = location.find_first_of("/?", scheme);
    const std::size_t colon = location.find(':', scheme);
    if (at != std::string::npos && (end == std::string::npos || at < end) && colon < at)
        location.replace(colon + 1, at - colon - 1, "***");
    for (std::size_t key = location.find("password=", scheme); key != std::string::npos;
         key = location.find("password=", key + 1)) {
        if (location[key - 1] != '?' && location[key - 1] != '&')
            continue;
        const std::size_t value = key + std::string_view("password=").size();
        location.replace(value, location.find('&', value) - value, "***");
    }
    return location;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options))
        return 2;
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!options.importFile.empty()) {
        try {
            const std::size_t count = ImportCatalog(options.importFile, options.catalog);
            std::fprintf(stderr, "sorvel-service: %zu entries from %s imported into %s\n", count,
                         options.importFile.c_str(), ShownLocation(options.catalog).c_str());
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "sorvel-service: %s\n", e.what());
            return 1;
        }
    }
    if (options.catalog.empty())
        options.catalog = DefaultCatalog();
    if (options.catalog.empty()) {
        std::fprintf(stderr,
                     "sorvel-service: no %s beside the program or in ../share/sorvel/ "
                     "from it: name a catalogue with --catalog\n",
                     DefaultCatalogName);
        return 1;
    }
    if (options.threads == 0)
        options.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    // SIGINT and SIGTERM are taken by one thread with sigwait, which stops the server from an
    // ordinary thread context; every other thread (the server's workers too) keeps them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A hang-up (its terminal closed, a service manager's reload) leaves the service serving: it
    // has nothing to reload.
    std::signal(SIGHUP, SIG_IGN);

    std::unique_ptr<Catalog> catalog;
    long long entries = 0;
    try {
        catalog = OpenCatalog(options.catalog, options.threads);
        entries = EntryCount(catalog->Sites());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sorvel-service: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "sorvel-service: %lld entries from %s\n", entries,
                 ShownLocation(options.catalog).c_str());

    ServiceServer server(*catalog, options.service);
    const int port = server.Bind(options.address, options.port);
    if (port < 0) {
        std::fprintf(stderr, "sorvel-service: cannot listen on %s port %d\n",
                     options.address.c_str(), options.port);
        return 1;
    }
    const bool ipv6 = options.address.find(':') != std::string::npos;
    std::printf("listening on http://%s%s%s:%d/\n", ipv6 ? "[" : "", options.address.c_str(),
                ipv6 ? "]" : "", port);
    std::fflush(stdout);

    std::atomic<bool> listenEnded{false};
    std::atomic<int> stoppedBy{0};
    std::thread waiter([&] {
        int number = 0;
        if (sigwait(&stopSignals, &number) != 0)
            return;
        stoppedBy = number;
        // A signal that comes before the server runs must wait for it: stop() does nothing then.
        while (!listenEnded) {
            if (server.IsRunning()) {
                server.Stop();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    const bool served = server.Listen();
    listenEnded = true;
    if (stoppedBy == 0) {
        // The server ended by itself: wake the waiter with a signal it takes as a stop.
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
        std::fprintf(stderr, "sorvel-service: the server ended unexpectedly\n");
        return 1;
    }
    waiter.join();
    std::fprintf(stderr, "sorvel-service: stopped by %s\n",
                 stoppedBy == SIGINT ? "SIGINT" : "SIGTERM");
    return served ? 0 : 1;
}
