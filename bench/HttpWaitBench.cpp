// Processor time of the whole process while get() waits on a server that accepted the
// connection and says nothing, until the 5-second time-out ends it. A wait that sleeps in the
// event loop costs next to nothing; one that spins costs a whole core.
#include "BenchMain.h"

#include "net/HttpClient.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Accepts connections on 127.0.0.1 and holds them open without a word until it is destroyed.
class SilentServer {
public:
    SilentServer() {
        if (::pipe(m_wake) != 0)
            throw std::runtime_error("pipe failed");
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen, 4) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~SilentServer() {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
        for (const int fd : m_accepted)
            ::close(fd);
        ::close(m_listen);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    QByteArray url() const { return "http://127.0.0.1:" + QByteArray::number(m_port) + "/"; }

private:
    void run() {
        for (;;) {
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
                return;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd >= 0)
                m_accepted.push_back(fd);
        }
    }

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::vector<int> m_accepted;
    std::thread m_thread;
};

double seconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_GetWaitsOnASilentServer(benchmark::State& state) {
    SilentServer server;
    double cpu = 0;
    double wall = 0;
    int timedOut = 0;
    for (auto _ : state) {
        HttpClient http;
        http.timeout = 5000;
        http.reportLevel = 2;
        const double cpuStart = seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wallStart = seconds(CLOCK_MONOTONIC);
        try {
            http.get(server.url());
        } catch (const AbortedError&) {
        }
        const double iteration = seconds(CLOCK_MONOTONIC) - wallStart;
        cpu += seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
        wall += iteration;
        timedOut += http.timedOut ? 1 : 0;
        state.SetIterationTime(iteration);
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["wall_ms"] = benchmark::Counter(wall * 1000, benchmark::Counter::kAvgIterations);
    state.counters["cpu_percent_of_one_core"] = wall > 0 ? 100 * cpu / wall : 0;
    state.counters["timed_out"] = benchmark::Counter(timedOut, benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_GetWaitsOnASilentServer)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
