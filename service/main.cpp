// sorvel-service: the search service, pages and thumbnails that Sorvel Browser talks to.

#include "service/Catalog.h"
#include "service/ServiceServer.h"
#include "service/Text.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

const char* const Usage =
    "Usage: sorvel-service [--listen ADDRESS] [--port PORT] [--catalog FILE]\n"
    "\n"
    "The search service of Sorvel Browser: answers the program's search requests from a video\n"
    "catalogue and serves the top page, the software information page, the site root, one page\n"
    "per video and the thumbnails.\n"
    "\n"
    "  --listen ADDRESS  address to listen on (default 127.0.0.1)\n"
    "  --port PORT       port to listen on (default 8780; 0 takes a free port)\n"
    "  --catalog FILE    the catalogue, a tab-separated text file (default: catalog.tsv beside\n"
    "                    the executable)\n"
    "  --help            show this text\n"
    "\n"
    "Prints \"listening on http://ADDRESS:PORT/\" on standard output once it serves, logs one\n"
    "line per request on standard error and ends on SIGINT or SIGTERM; SIGHUP does not end it.\n";

struct Options {
    std::string address = "127.0.0.1";
    int port = 8780;
    std::string catalog;
    bool help = false;
};

// Reads the command line; returns false (with a message on standard error) when it cannot.
bool ReadOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
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
        if (arg != "--listen" && arg != "--port" && arg != "--catalog") {
            std::fprintf(stderr, "sorvel-service: unknown option '%s'\n%s", argv[i], Usage);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "sorvel-service: %s needs a value\n", arg.c_str());
                return false;
            }
            value = argv[++i];
        }
        if (arg == "--listen") {
            options.address = value;
        } else if (arg == "--port") {
            if (!ParseInt(value, options.port) || options.port < 0 || options.port > 65535) {
                std::fprintf(stderr, "sorvel-service: '%s' is no port number\n", value.c_str());
                return false;
            }
        } else {
            options.catalog = value;
        }
    }
    return true;
}

std::string DefaultCatalog() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = exe.parent_path() / "catalog.tsv";
        if (std::filesystem::exists(beside, error))
            return beside.string();
    }
    return SORVEL_SERVICE_SOURCE_CATALOG;
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
    if (options.catalog.empty())
        options.catalog = DefaultCatalog();

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
    try {
        catalog = std::make_unique<Catalog>(options.catalog);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sorvel-service: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "sorvel-service: %zu entries from %s\n", catalog->Entries().size(),
                 options.catalog.c_str());

    ServiceServer server(*catalog);
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
