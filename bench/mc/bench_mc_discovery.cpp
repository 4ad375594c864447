// Figures of the discovery client in a virtual LAN of its own (root only; prints why otherwise).
// Not a test: it prints what it measured.
//
//  1. Bursts: fleets of 1,000, 10,000 and 20,000 simulated cameras, half on each segment, all
//     answering one Auto Search within 100 ms (both probes: two answers per device). For each,
//     with the receive buffer the client asks for (2 MiB, granted here as root) and with the
//     buffer a stock desktop grants (425,984 bytes): devices listed within the 3-second window,
//     answers lost in the kernel (socket buffer full), lost in the client (read but not
//     handled within the window) and not read within the window at all (sent too late: the
//     simulator shares the machine's cores), the client's CPU time and peak memory. The same
//     burst also goes
//     through a plain toolkit loop on a socket of the same settings: receive one datagram, let
//     the toolkit's serve routine parse and dispatch it, then the next.
//  2. Sustained rate: a paced flood of answers from one sender for 2 s. A rate counts as
//     sustained when no answer is lost and the last one is handled within 100 ms of the
//     flood's end; the lag is printed for every rate tried.
// Each client runs in a process of its own, so that its CPU time and peak memory are its own.
//
//   bench_mc_discovery [--runs N] [--fleets 1000,10000,...] [--no-rate]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_answers.h"
#include "common/common_util.h"
#include "front/front_device_list.h"
#include "lan_fixture.h"
#include "mc/mc_discovery.h"
#include "mc/mc_net.h"
#include "mc/mc_request.h"
#include "soap_wire.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const int kWindowMs = 3000;
const int kStockBuffer = 425984;  // what a desktop with net.core.rmem_max 212,992 reports
const int kRateSeconds = 2;
const int kMaxLagMs = 100;

// What one client process reports to the benchmark.
struct ClientFigures {
    uint64_t listed = 0;   // distinct devices, by the device-list rule
    uint64_t handled = 0;  // probe matches delivered within the window (or until quiet)
    uint64_t read = 0;     // answers read from the socket within the window
    uint64_t queueFull = 0;
    int64_t searchNs = 0;      // CLOCK_MONOTONIC of the search
    int64_t lastRecordNs = 0;  // CLOCK_MONOTONIC of the last record delivered
};

// The vendor probe goes to the limited broadcast on port 3702 through both interfaces of the
// LAN, so a client on port 3702 reads it twice itself: read, but no answer.
uint64_t OwnProbesHeard(uint16_t port) {
    return port == kDiscoveryPort ? 2 : 0;
}

struct ProcessFigures {
    ClientFigures client;
    double cpuSeconds = 0;
    double peakMb = 0;
    bool ok = false;
};

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Counts the records of a search and lists them as the programs do.
class CListingObserver : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_list.Add(*pData);
        ++m_figures.handled;
        m_figures.lastRecordNs = MonotonicNs();
    }
    ClientFigures Figures() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_figures.listed = m_list.Size();
        return m_figures;
    }

private:
    std::mutex m_lock;
    CDeviceList m_list;
    ClientFigures m_figures;
};

// Starts body in a child process (in the calling thread's namespace); *pFd reads what it
// reports. No other thread may run at the time.
pid_t Spawn(const std::function<ClientFigures()>& body, int* pFd) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();  // a scheduler group of its own, apart from the simulator's
        close(fds[0]);
        const ClientFigures figures = body();
        const ssize_t written = write(fds[1], &figures, sizeof(figures));
        _exit(written == sizeof(figures) ? 0 : 1);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
    }
    *pFd = fds[0];
    return pid;
}

// What the child reported, with its CPU time and peak memory.
ProcessFigures Reap(pid_t pid, int fd) {
    ProcessFigures result;
    if (pid < 0) {
        return result;
    }
    result.ok = read(fd, &result.client, sizeof(result.client)) == sizeof(result.client);
    close(fd);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.ok = result.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.peakMb = usage.ru_maxrss / 1024.0;
    return result;
}

ProcessFigures InChild(const std::function<ClientFigures()>& body) {
    int fd = -1;
    const pid_t pid = Spawn(body, &fd);
    return Reap(pid, fd);
}

// The client: one Auto Search, the records of the window.
ClientFigures ScoutcamSearch(int receiveBuffer) {
    CDiscoveryThread* pClient = new CDiscoveryThread();
    pClient->SetReceiveBufferForMeasurement(receiveBuffer);
    pClient->Init(nullptr);
    pClient->Start();
    pClient->WaitReady(5000);
    CListingObserver observer;
    pClient->Attach(&observer);
    const int64_t searchNs = MonotonicNs();
    pClient->Search(0);
    std::this_thread::sleep_for(milliseconds(kWindowMs));
    pClient->Detach(&observer);
    const ReceiveCounters& counters = pClient->Received();
    ClientFigures figures = observer.Figures();
    figures.searchNs = searchNs;
    figures.queueFull = counters.queueFull.load();
    figures.read = counters.queued + counters.queueFull + counters.empty + counters.foreign +
                   counters.own + counters.oversize - OwnProbesHeard(pClient->GetPort());
    if (pClient->Stop() == 0) {
        delete pClient;
    }
    return figures;
}

// The plain loop's answer handler: the source check and the record, as the client has them.
class CPlainHandler : public ISoapAnswerHandler {
public:
    CPlainHandler(std::string messageId, CListingObserver* pObserver)
        : m_messageId(std::move(messageId)), m_pObserver(pObserver) {}
    int OnProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pst) override {
        const SOAP_ENV__Header* pHeader = pSoap->header;
        if (pHeader == nullptr || pHeader->wsa__RelatesTo == nullptr ||
            pHeader->wsa__RelatesTo->__item == nullptr ||
            m_messageId != pHeader->wsa__RelatesTo->__item || pst == nullptr) {
            return SOAP_NO_METHOD;
        }
        for (int i = 0; i < pst->__sizeProbeMatch; ++i) {
            CDiscoveryBean record;
            if (MatchToRecord(pst->tns__ProbeMatch[i], &record)) {
                m_pObserver->Update(&record);
            }
        }
        return SOAP_OK;
    }
    int OnKorvaneProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pst) override {
        return OnProbeMatches(pSoap, pst);
    }
    int OnSetDeviceAddrRsp(struct soap*, struct tns__SetDeviceAddrRspType*) override {
        return SOAP_OK;
    }
    int OnSetDefaultCfgRsp(struct soap*, struct tns__SetDefaultCfgRspType*) override {
        return SOAP_OK;
    }
    int OnSetDefaultPasswdRsp(struct soap*, struct tns__SetDefaultPasswdRspType*) override {
        return SOAP_OK;
    }

private:
    std::string m_messageId;
    CListingObserver* m_pObserver;
};

int DiscardReply(struct soap*, const char*, size_t) {
    return SOAP_OK;
}

// A socket bound as the client binds its own, with the receive buffer of the run.
int PlainSocket(int receiveBuffer) {
    uint16_t port = kDiscoveryPort;
    SocketHandle socket = kNoSocket;
    if (BindClientSocket(&socket, &port) != 0) {
        return -1;
    }
    if (receiveBuffer > 0) {
        SetReceiveBuffer(socket, receiveBuffer);
    }
    return static_cast<int>(socket);
}

// The toolkit's own loop on that socket until the deadline: it reads one datagram, parses
// and dispatches it, and only then reads the next. Returns the datagrams it read.
uint64_t PlainServe(int fd, const std::string& messageId, CListingObserver* pObserver,
                    const std::function<bool()>& goOn) {
    CPlainHandler handler(messageId, pObserver);
    struct soap* pSoap = soap_new();
    SoapInitContext(pSoap);
    SoapSetAnswerHandler(pSoap, &handler);
    pSoap->socket = fd;
    pSoap->master = fd;
    pSoap->recv_timeout = -200000;  // microseconds: look at the deadline five times a second
    pSoap->fsend = DiscardReply;
    uint64_t read = 0;
    while (goOn()) {
        soap_serve(pSoap);
        read += pSoap->buflen > 0 ? 1 : 0;  // nothing when the wait timed out
        soap_destroy(pSoap);
        soap_end(pSoap);
    }
    pSoap->socket = SOAP_INVALID_SOCKET;
    pSoap->master = SOAP_INVALID_SOCKET;
    soap_free(pSoap);
    return read;
}

ClientFigures PlainSearch(int receiveBuffer) {
    CListingObserver observer;
    const int fd = PlainSocket(receiveBuffer);
    if (fd < 0) {
        return observer.Figures();
    }
    const std::string uuid = CreateUuidString();
    OutgoingPacket probe;
    OutgoingPacket korvaneProbe;
    RenderProbe(uuid, &probe);
    RenderKorvaneProbe(uuid, &korvaneProbe);
    const int64_t searchNs = MonotonicNs();
    SendThroughInterfaces(fd, probe, kMulticastGroup);
    SendThroughInterfaces(fd, korvaneProbe, kLimitedBroadcast);
    const auto deadline = Clock::now() + milliseconds(kWindowMs);
    const uint64_t read =
        PlainServe(fd, MessageId(uuid), &observer, [deadline] { return Clock::now() < deadline; });
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    close(fd);
    ClientFigures figures = observer.Figures();
    figures.searchNs = searchNs;
    figures.read = read - OwnProbesHeard(ntohs(local.sin_port));
    return figures;
}

struct Row {
    uint64_t listed = 0;
    long kernelLost = 0;
    long clientLost = 0;
    long late = 0;  // sent, but not read within the window
    double cpu = 0;
    double peakMb = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void Fleet(CTestLan* pLan, int devices, int runs) {
    const std::string half = std::to_string(devices / 2);
    const struct {
        const char* name;
        bool plain;
        int buffer;
    } kinds[] = {{"client, granted buffer", false, 0},
                 {"client, stock buffer  ", false, kStockBuffer},
                 {"plain loop, granted   ", true, 0},
                 {"plain loop, stock     ", true, kStockBuffer}};
    for (const auto& kind : kinds) {
        std::vector<Row> rows;
        for (int run = 0; run < runs; ++run) {
            if (!pLan->StartCamsim('a', {"--count", half, "--behave", "delay-max=100"}) ||
                !pLan->StartCamsim('b', {"--count", half, "--behave", "delay-max=100"})) {
                std::printf("camsim did not start\n");
                return;
            }
            const long kernelBefore = KernelDrops();
            const ProcessFigures figures = InChild([&kind] {
                return kind.plain ? PlainSearch(kind.buffer) : ScoutcamSearch(kind.buffer);
            });
            const long kernelLost = KernelDrops() - kernelBefore;
            const auto Sent = [](const std::string& stats) {
                const size_t at = stats.find(" datagrams=");
                return at == std::string::npos ? 0L : std::atol(stats.c_str() + at + 11);
            };
            const long sent = Sent(pLan->StopCamsim('a')) + Sent(pLan->StopCamsim('b'));
            if (sent == 0) {
                std::printf("  %6d cameras, %s run %d: void, the simulators reported nothing\n",
                            devices, kind.name, run + 1);
                continue;
            }
            Row row;
            row.listed = figures.client.listed;
            row.kernelLost = kernelLost;
            const long read = static_cast<long>(figures.client.read);
            row.clientLost = read - static_cast<long>(figures.client.handled);
            row.late = sent - kernelLost - read;
            row.cpu = figures.cpuSeconds;
            row.peakMb = figures.peakMb;
            rows.push_back(row);
            std::printf(
                "  %6d cameras, %s run %d: listed %6lu, %6ld answers sent, lost %5ld in "
                "the kernel, %5ld in the client, %5ld not read within the window (last "
                "handled %.0f ms after the probe); CPU %.2f s, peak %.1f MB%s\n",
                devices, kind.name, run + 1, static_cast<unsigned long>(row.listed), sent,
                row.kernelLost, row.clientLost, row.late,
                (figures.client.lastRecordNs - figures.client.searchNs) / 1e6, row.cpu, row.peakMb,
                figures.ok ? "" : " (the client process failed)");
            std::fflush(stdout);
        }
        std::vector<double> listed;
        std::vector<double> kernel;
        std::vector<double> client;
        std::vector<double> late;
        std::vector<double> cpu;
        std::vector<double> peak;
        for (const Row& row : rows) {
            listed.push_back(static_cast<double>(row.listed));
            kernel.push_back(static_cast<double>(row.kernelLost));
            client.push_back(static_cast<double>(row.clientLost));
            late.push_back(static_cast<double>(row.late));
            cpu.push_back(row.cpu);
            peak.push_back(row.peakMb);
        }
        std::printf("| %6d | %s | %6.0f | %6.0f | %6.0f | %6.0f | %5.2f | %5.1f |\n", devices,
                    kind.name, Median(listed), Median(kernel), Median(client), Median(late),
                    Median(cpu), Median(peak));
        std::fflush(stdout);
    }
}

// Sends `total` answers (cycling through the given ones) at `rate` per second, paced per
// millisecond, from segment A to the port. Returns CLOCK_MONOTONIC of the last one sent.
int64_t Flood(CTestLan* pLan, const std::vector<std::string>& answers, long total, long rate,
              uint16_t port) {
    int fd = -1;
    pLan->InNamespace('a', [&fd] { fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(Ip("198.18.0.1"));
    to.sin_port = htons(port);
    const auto start = Clock::now();
    long sent = 0;
    for (long tick = 1; sent < total; ++tick) {
        const long due = std::min(total, rate * tick / 1000);
        for (; sent < due; ++sent) {
            const std::string& answer = answers[static_cast<size_t>(sent) % answers.size()];
            sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof(to));
        }
        std::this_thread::sleep_until(start + milliseconds(tick));
    }
    const int64_t end = MonotonicNs();
    close(fd);
    return end;
}

// A client process that takes a flood: it tells the benchmark its port and message id, then
// handles answers until the benchmark says the flood is over and nothing came for 500 ms.
ClientFigures FloodedClient(bool plain, int toParent, int fromParent) {
    CListingObserver observer;
    ClientFigures figures;
    std::string messageId;
    uint16_t port = 0;
    CDiscoveryThread* pClient = nullptr;
    int fd = -1;
    if (plain) {
        fd = PlainSocket(0);
        sockaddr_in local{};
        socklen_t length = sizeof(local);
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
        messageId = MessageId(CreateUuidString());
    } else {
        pClient = new CDiscoveryThread();
        pClient->Init(nullptr);
        pClient->Start();
        pClient->WaitReady(5000);
        pClient->Attach(&observer);
        port = pClient->GetPort();
        messageId = MessageId(pClient->GetUuid());
    }
    char hello[128] = {};
    std::snprintf(hello, sizeof(hello), "%u %s", port, messageId.c_str());
    if (write(toParent, hello, sizeof(hello)) != sizeof(hello)) {
        return figures;
    }
    // The benchmark writes one byte when the flood is over.
    bool over = false;
    uint64_t last = 0;
    auto quietSince = Clock::now();
    const auto goOn = [&] {
        if (!over) {
            pollfd item = {fromParent, POLLIN, 0};
            over = poll(&item, 1, 0) > 0;
            quietSince = Clock::now();
            return true;
        }
        const uint64_t now = observer.Figures().handled;
        if (now != last) {
            last = now;
            quietSince = Clock::now();
        }
        return Clock::now() - quietSince < milliseconds(500);
    };
    if (plain) {
        PlainServe(fd, messageId, &observer, goOn);
        close(fd);
    } else {
        while (goOn()) {
            std::this_thread::sleep_for(milliseconds(20));
        }
        pClient->Detach(&observer);
    }
    figures = observer.Figures();
    if (pClient != nullptr) {
        figures.queueFull = pClient->Received().queueFull.load();
        if (pClient->Stop() == 0) {
            delete pClient;
        }
    }
    return figures;
}

// The highest paced rate with no loss and at most kMaxLagMs of lag at the flood's end.
void SustainedRate(CTestLan* pLan, bool plain) {
    const char* pName = plain ? "plain loop" : "client    ";
    long best = 0;
    for (long rate : {10000L, 20000L, 30000L, 40000L, 50000L, 60000L, 70000L, 80000L}) {
        int toParent[2];
        int fromParent[2];
        if (pipe(toParent) != 0 || pipe(fromParent) != 0) {
            return;
        }
        int resultFd = -1;
        const pid_t pid =
            Spawn([&] { return FloodedClient(plain, toParent[1], fromParent[0]); }, &resultFd);
        long kernelLost = 0;
        int64_t floodEnd = 0;
        const long total = rate * kRateSeconds;
        char hello[128] = {};
        if (read(toParent[0], hello, sizeof(hello)) == sizeof(hello)) {
            unsigned port = 0;
            char messageId[100] = {};
            std::sscanf(hello, "%u %99s", &port, messageId);
            std::vector<std::string> answers;
            for (int i = 0; i < 4000; ++i) {
                answers.push_back(ProbeMatchesAnswer(messageId, i));
            }
            const long kernelBefore = KernelDrops();
            floodEnd = Flood(pLan, answers, total, rate, static_cast<uint16_t>(port));
            kernelLost = KernelDrops() - kernelBefore;
        }
        const char done = 1;
        if (write(fromParent[1], &done, 1) != 1) {
            std::printf("the flooded client is gone\n");
        }
        const ProcessFigures figures = Reap(pid, resultFd);
        for (int fd : {toParent[0], toParent[1], fromParent[0], fromParent[1]}) {
            close(fd);
        }
        const long lost = total - static_cast<long>(figures.client.handled);
        const double lagMs = (figures.client.lastRecordNs - floodEnd) / 1e6;
        std::printf(
            "  %s %6ld answers/s for %d s: %7lu of %7ld handled, %6ld lost (%ld in the "
            "kernel, %lu at the queue's limit); last handled %.0f ms after the flood's "
            "end; CPU %.2f s, peak %.1f MB\n",
            pName, rate, kRateSeconds, static_cast<unsigned long>(figures.client.handled), total,
            lost, kernelLost, static_cast<unsigned long>(figures.client.queueFull), lagMs,
            figures.cpuSeconds, figures.peakMb);
        std::fflush(stdout);
        if (lost != 0 || lagMs > kMaxLagMs) {
            break;
        }
        best = rate;
    }
    std::printf("| sustained | %s | %ld answers/s with no loss and at most %d ms behind |\n", pName,
                best, kMaxLagMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    int runs = 1;
    std::vector<int> fleets = {1000, 10000, 20000};
    bool rate = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--fleets" && i + 1 < argc) {
            fleets.clear();
            std::istringstream list(argv[++i]);
            std::string item;
            while (std::getline(list, item, ',')) {
                fleets.push_back(std::atoi(item.c_str()));
            }
        } else if (arg == "--no-rate") {
            rate = false;
        } else {
            std::printf("usage: bench_mc_discovery [--runs N] [--fleets N,N,...] [--no-rate]\n");
            return 2;
        }
    }
    CTestLan lan;
    std::string reason;
    if (!lan.Up(&reason)) {
        std::printf("bench_mc_discovery skipped: %s\n", reason.c_str());
        return 0;
    }
    std::printf(
        "Bursts: every camera answers both probes within 100 ms; 3 s window; medians of "
        "%d run(s)\n",
        runs);
    std::printf(
        "| cameras | receiver | listed | lost in kernel | lost in client | not read in "
        "window | CPU s | peak MB |\n");
    for (int devices : fleets) {
        Fleet(&lan, devices, runs);
    }
    if (rate) {
        SustainedRate(&lan, false);
        SustainedRate(&lan, true);
    }
    return 0;
}
