// Figures of the discovery client, measured in a virtual LAN of its own (root only):
//  1. fleets of 100, 1,000 and 4,000 simulated cameras, half on each segment, all answering
//     one Auto Search within 100 ms (both probes, so two answers per device): devices listed
//     within the 3-second window, answers lost, and the client's CPU time;
//  2. the receive path's sustained rate: a flood of probe matches at a paced rate from one
//     sender, and the highest rate handled with no loss.
// Not a test: it prints what it measured.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lan_fixture.h"
#include "mc/mc_discovery.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kRuns = 3;

// Counts every record and keeps the distinct ones, as the device list does.
class CCounter : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean* pData) override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_records;
        for (const CDiscoveryBean& item : m_distinct) {
            if (item == *pData) {
                return;
            }
        }
        m_distinct.push_back(*pData);
    }
    size_t Records() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_records;
    }
    size_t Distinct() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_distinct.size();
    }

private:
    std::mutex m_lock;
    size_t m_records = 0;
    std::vector<CDiscoveryBean> m_distinct;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long StatValue(const std::string& stats, const char* pKey) {
    const std::string key = std::string(" ") + pKey + "=";
    const size_t at = stats.find(key);
    return at == std::string::npos ? -1 : std::atol(stats.c_str() + at + key.size());
}

void Fleet(CTestLan* pLan, int devices) {
    const std::string half = std::to_string(devices / 2);
    long lostTotal = 0;
    int complete = 0;
    for (int run = 0; run < kRuns; ++run) {
        if (!pLan->StartCamsim('a', {"--count", half, "--behave", "delay-max=100"}) ||
            !pLan->StartCamsim('b', {"--count", half, "--behave", "delay-max=100"})) {
            std::printf("camsim did not start\n");
            return;
        }
        CDiscoveryThread* pClient = new CDiscoveryThread();
        pClient->Init(nullptr);
        pClient->Start();
        pClient->WaitReady(5000);
        CCounter counter;
        pClient->Attach(&counter);
        const double cpuStart = CpuSeconds();
        pClient->Search(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        pClient->Detach(&counter);
        const double cpu = CpuSeconds() - cpuStart;
        const long sent = StatValue(pLan->StopCamsim('a'), "datagrams") +
                          StatValue(pLan->StopCamsim('b'), "datagrams");
        const long lost = sent - static_cast<long>(counter.Records());
        lostTotal += lost;
        complete += counter.Distinct() == static_cast<size_t>(devices) ? 1 : 0;
        std::printf(
            "fleet %5d  run %d: listed %5zu of %5d devices in 3000 ms, answers %5ld "
            "sent, %5zu handled, %ld lost, client CPU %.3f s\n",
            devices, run + 1, counter.Distinct(), devices, sent, counter.Records(), lost, cpu);
        std::fflush(stdout);
        if (pClient->Stop() == 0) {
            delete pClient;
        }
    }
    std::printf("fleet %5d: every device listed in %d of %d runs, %ld answers lost in all\n",
                devices, complete, kRuns, lostTotal);
}

std::string Matches(const std::string& relatesTo, int index) {
    const std::string ip =
        "198.18." + std::to_string(1 + index / 250) + "." + std::to_string(1 + index % 250);
    std::string scopes;
    for (const char* pScope :
         {"type/video_encoder", "type/Network_Video_Transmitter", "Profile/Streaming",
          "location/office", "hardware/KV-PTZ5030", "name/Korvane_KV-PTZ5030",
          "macaddr/00:1b:89:01:00:00", "version/V5.3.10.build230347"}) {
        scopes += std::string("onvif://www.onvif.org/") + pScope + " ";
    }
    scopes += "onvif://www.onvif.org/serial/FL" + std::to_string(index);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:tns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
           "<wsa:MessageID>urn:uuid:5a1e0000-0000-4000-8000-" +
           std::to_string(100000000000 + index) + "</wsa:MessageID><wsa:RelatesTo>" + relatesTo +
           "</wsa:RelatesTo><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/"
           "anonymous</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/"
           "ProbeMatches</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><tns:ProbeMatches>"
           "<tns:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:fcc9f21b-9fa5-4894-a6dd-"
           "1dd2c02f56af</wsa:Address></wsa:EndpointReference><tns:Types>"
           "dn:NetworkVideoTransmitter</tns:Types><tns:Scopes>" +
           scopes + "</tns:Scopes><tns:XAddrs>http://" + ip +
           "/onvif/device_service</tns:XAddrs><tns:MetadataVersion>1</tns:MetadataVersion>"
           "</tns:ProbeMatch></tns:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// Sends `total` datagrams, cycling through the given ones, at `rate` per second (paced per
// millisecond, sleeping in between) from segment A to the client port.
void Flood(CTestLan* pLan, const std::vector<std::string>& datagrams, long total, long rate,
           uint16_t port) {
    int fd = -1;
    pLan->InNamespace('a', [&fd] { fd = socket(AF_INET, SOCK_DGRAM, 0); });
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(Ip("198.18.0.1"));
    const auto start = Clock::now();
    long sent = 0;
    for (long tick = 1; sent < total; ++tick) {
        const long due = std::min(total, rate * tick / 1000);
        for (; sent < due; ++sent) {
            const std::string& datagram = datagrams[static_cast<size_t>(sent) % datagrams.size()];
            sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof(to));
        }
        std::this_thread::sleep_until(start + std::chrono::milliseconds(tick));
    }
    close(fd);
}

void ReceiveRate(CTestLan* pLan) {
    CDiscoveryThread* pClient = new CDiscoveryThread();
    pClient->Init(nullptr);
    pClient->Start();
    pClient->WaitReady(5000);
    const std::string mine = "urn:uuid:" + pClient->GetUuid();
    const int seconds = 2;
    long best = 0;
    std::vector<std::string> datagrams;
    for (int i = 0; i < 4000; ++i) {
        datagrams.push_back(Matches(mine, i));
    }
    for (long rate : {5000L, 10000L, 20000L, 30000L, 40000L, 60000L, 80000L}) {
        const long total = rate * seconds;
        CCounter counter;
        pClient->Attach(&counter);
        const double cpuStart = CpuSeconds();
        Flood(pLan, datagrams, total, rate, pClient->GetPort());
        // Let the loop finish what is queued, until nothing more arrives for 500 ms.
        size_t last = 0;
        do {
            last = counter.Records();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        } while (counter.Records() != last);
        pClient->Detach(&counter);
        const long lost = total - static_cast<long>(counter.Records());
        std::printf(
            "flood %6ld answers/s for %d s: %zu of %ld handled, %ld lost (process CPU "
            "%.2f s incl. the sender)\n",
            rate, seconds, counter.Records(), total, lost, CpuSeconds() - cpuStart);
        std::fflush(stdout);
        if (lost != 0) {
            break;
        }
        best = rate;
    }
    std::printf(
        "receive path: %ld answers/s sustained with zero loss (highest rate tried "
        "without loss)\n",
        best);
    if (pClient->Stop() == 0) {
        delete pClient;
    }
}

}  // namespace

int main() {
    CTestLan lan;
    std::string reason;
    if (!lan.Up(&reason)) {
        std::printf("bench_mc_discovery skipped: %s\n", reason.c_str());
        return 0;
    }
    for (int devices : {100, 1000, 4000}) {
        Fleet(&lan, devices);
    }
    ReceiveRate(&lan);
    return 0;
}
