#include "lan_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::atomic<int> g_serial{0};

int SegmentIndex(char segment) {
    return segment == 'a' ? 0 : 1;
}

// Runs a shell command; true when it succeeded, with its output.
bool RunCommand(const std::string& shellCommand, std::string* pOutput) {
    const std::string command = shellCommand + " 2>&1";
    FILE* pPipe = popen(command.c_str(), "r");
    if (pPipe == nullptr) {
        return false;
    }
    char buffer[512];
    std::string output;
    while (fgets(buffer, sizeof(buffer), pPipe) != nullptr) {
        output += buffer;
    }
    const int status = pclose(pPipe);
    if (pOutput != nullptr) {
        *pOutput = output;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RunScript(const std::string& arguments, std::string* pOutput) {
    return RunCommand(std::string(CTestLan::Script()) + " " + arguments, pOutput);
}

std::string LocalName(const std::string& qualified) {
    const size_t colon = qualified.find(':');
    return colon == std::string::npos ? qualified : qualified.substr(colon + 1);
}

}  // namespace

const char* CTestLan::Script() {
    return SCOUTCAM_VLAN_SCRIPT;
}
const char* CTestLan::Camsim() {
    return SCOUTCAM_CAMSIM;
}
const char* CTestLan::Camflood() {
    return SCOUTCAM_CAMFLOOD;
}

uint32_t Ip(const char* pText) {
    in_addr addr{};
    inet_pton(AF_INET, pText, &addr);
    return ntohl(addr.s_addr);
}

CTestLan::CTestLan()
    : m_name("mc" + std::to_string(getpid()) + "x" + std::to_string(g_serial.fetch_add(1))) {}

CTestLan::~CTestLan() {
    for (char segment : {'a', 'b'}) {
        StopCamflood(segment);
        StopCamsim(segment);
    }
    if (m_homeFd >= 0) {
        setns(m_homeFd, CLONE_NEWNET);
        close(m_homeFd);
    }
    if (m_up) {
        RunScript("down " + m_name, nullptr);
    }
}

// Networks of test processes that were killed before they could clean up (a time-out) are
// removed: their names carry the process id.
static void RemoveOrphans() {
    std::string output;
    if (!RunCommand("ip netns list", &output)) {
        return;
    }
    size_t at = 0;
    while ((at = output.find("scv-mc", at)) != std::string::npos) {
        const size_t end = output.find("-cli", at);
        const size_t eol = output.find('\n', at);
        if (end != std::string::npos && end < eol) {
            const std::string name = output.substr(at + 4, end - at - 4);  // "mc<pid>x<n>"
            const long pid = std::atol(name.c_str() + 2);
            if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
                RunScript("down " + name, nullptr);
            }
        }
        at = eol == std::string::npos ? output.size() : eol;
    }
}

bool CTestLan::Up(std::string* pReason) {
    if (geteuid() != 0) {
        *pReason = "needs root to create network namespaces";
        return false;
    }
    RemoveOrphans();
    std::string output;
    if (!RunScript("up " + m_name, &output)) {
        *pReason = "scripts/vlan up failed: " + output;
        return false;
    }
    m_up = true;
    RunScript("names " + m_name, &output);
    size_t start = 0;
    while (start < output.size()) {
        const size_t end = output.find('\n', start);
        m_namespaces.push_back(output.substr(start, end - start));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    m_homeFd = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_namespaces.size() != 4 || m_homeFd < 0 || EnterNamespace('c') != 0) {
        *pReason = "cannot enter the client namespace";
        return false;
    }
    return true;
}

std::string CTestLan::Namespace(char where) const {
    switch (where) {
    case 'a':
        return m_namespaces[2];
    case 'b':
        return m_namespaces[3];
    default:
        return m_namespaces[1];
    }
}

int CTestLan::EnterNamespace(char where) {
    const std::string path = "/var/run/netns/" + Namespace(where);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const int rc = setns(fd, CLONE_NEWNET);
    close(fd);
    return rc;
}

void CTestLan::InNamespace(char where, const std::function<void()>& fn) {
    EnterNamespace(where);
    fn();
    EnterNamespace('c');
}

bool CTestLan::StartCamsim(char segment, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Camsim(),
                                     "--iface",
                                     "eth0",
                                     "--base",
                                     segment == 'a' ? "198.18.0.10" : "198.19.0.10",
                                     "--seed",
                                     segment == 'a' ? "1" : "2"};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartTool(segment, argv, "camsim ready", &m_camsim[SegmentIndex(segment)]);
}

std::string CTestLan::StopCamsim(char segment) {
    const std::string output = StopTool(&m_camsim[SegmentIndex(segment)]);
    const size_t stats = output.rfind("camsim stats:");
    return stats == std::string::npos ? std::string() : output.substr(stats);
}

bool CTestLan::StartCamflood(char segment, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Camflood(), "--iface", "eth0"};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartTool(segment, argv, "camflood ready", &m_camflood[SegmentIndex(segment)]);
}

std::string CTestLan::StopCamflood(char segment) {
    return StopTool(&m_camflood[SegmentIndex(segment)]);
}

bool CTestLan::StartTool(char segment, std::vector<std::string> argv, const char* pReady,
                         Tool* pTool) {
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(&arg[0]);
    }
    pointers.push_back(nullptr);
    const std::string nsPath = "/var/run/netns/" + Namespace(segment);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // A session of its own, as a device is a host of its own: the scheduler's group
        // shares then do not count its work against the client's.
        setsid();
        const int nsFd = open(nsPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
            _exit(127);
        }
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return false;
    }
    pTool->pid = pid;
    pTool->out = pipeFds[0];
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (seen.find(pReady) == std::string::npos) {
        const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              deadline - std::chrono::steady_clock::now())
                                              .count());
        pollfd item = {pipeFds[0], POLLIN, 0};
        char buffer[256];
        if (left <= 0 || poll(&item, 1, left) <= 0) {
            return false;
        }
        const ssize_t got = read(pipeFds[0], buffer, sizeof(buffer));
        if (got <= 0) {
            return false;
        }
        seen.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

std::string CTestLan::StopTool(Tool* pTool) {
    if (pTool->pid < 0) {
        return std::string();
    }
    kill(pTool->pid, SIGTERM);
    std::string output;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(pTool->out, buffer, sizeof(buffer))) > 0) {
        output.append(buffer, static_cast<size_t>(got));
    }
    waitpid(pTool->pid, nullptr, 0);
    close(pTool->out);
    pTool->pid = -1;
    pTool->out = -1;
    return output;
}

bool CTestLan::ResolveAll(char segment, uint32_t first, uint32_t last) {
    std::string output;
    if (!RunCommand("ip -n " + Namespace(segment) + " -o link show eth0", &output)) {
        return false;
    }
    const size_t ether = output.find("link/ether ");
    if (ether == std::string::npos) {
        return false;
    }
    const std::string mac = output.substr(ether + 11, 17);
    const std::string device = segment == 'a' ? "eth0" : "eth1";
    std::string batch;
    for (uint64_t address = first; address <= last; ++address) {
        in_addr addr{htonl(static_cast<uint32_t>(address))};
        batch += std::string("neigh replace ") + inet_ntoa(addr) + " lladdr " + mac + " dev " +
                 device + " nud permanent\n";
    }
    return RunCommand("printf '" + batch + "' | ip -n " + Namespace('c') + " -batch -", &output);
}

int CTestLan::OpenCapture(char segment) {
    int fd = -1;
    InNamespace(segment, [&fd] {
        fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd < 0) {
            return;
        }
        const int size = 8 * 1024 * 1024;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size));
        // What the devices send would only fill the buffer.
        const int one = 1;
        setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof(one));
        sockaddr_ll addr{};
        addr.sll_family = AF_PACKET;
        addr.sll_protocol = htons(ETH_P_IP);
        addr.sll_ifindex = static_cast<int>(if_nametoindex("eth0"));
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            close(fd);
            fd = -1;
        }
    });
    return fd;
}

std::vector<CapturedDatagram> ReadCapture(int fd, size_t count, int timeoutMs) {
    std::vector<CapturedDatagram> result;
    std::vector<unsigned char> buffer(70000);
    while (result.size() < count) {
        pollfd item = {fd, POLLIN, 0};
        if (poll(&item, 1, timeoutMs) <= 0) {
            break;
        }
        sockaddr_ll from{};
        socklen_t fromLength = sizeof(from);
        const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < static_cast<ssize_t>(sizeof(iphdr) + sizeof(udphdr)) ||
            from.sll_pkttype == PACKET_OUTGOING) {
            continue;
        }
        iphdr ip;
        std::memcpy(&ip, buffer.data(), sizeof(ip));
        const size_t headerLength = ip.ihl * 4u;
        if (ip.protocol != IPPROTO_UDP ||
            got < static_cast<ssize_t>(headerLength + sizeof(udphdr))) {
            continue;
        }
        udphdr udp;
        std::memcpy(&udp, buffer.data() + headerLength, sizeof(udp));
        CapturedDatagram datagram;
        datagram.src = ntohl(ip.saddr);
        datagram.dst = ntohl(ip.daddr);
        datagram.srcPort = ntohs(udp.source);
        datagram.dstPort = ntohs(udp.dest);
        datagram.ttl = ip.ttl;
        if (datagram.dstPort != 3702) {
            continue;
        }
        const size_t payloadStart = headerLength + sizeof(udphdr);
        datagram.payload.assign(reinterpret_cast<const char*>(buffer.data()) + payloadStart,
                                static_cast<size_t>(got) - payloadStart);
        result.push_back(datagram);
    }
    return result;
}

std::string BodyElement(const std::string& envelope) {
    const size_t body = envelope.find(":Body>");
    if (body == std::string::npos) {
        return std::string();
    }
    const size_t open = envelope.find('<', body);
    const size_t end = envelope.find_first_of(" />", open + 1);
    if (open == std::string::npos || end == std::string::npos) {
        return std::string();
    }
    return LocalName(envelope.substr(open + 1, end - open - 1));
}

std::string ElementText(const std::string& envelope, const std::string& localName) {
    size_t position = 0;
    while ((position = envelope.find(":" + localName, position)) != std::string::npos) {
        const size_t open = envelope.rfind('<', position);
        const size_t close = envelope.find('>', position);
        const char after = envelope[position + localName.size() + 1];
        if (open != std::string::npos && close != std::string::npos && envelope[open + 1] != '/' &&
            (after == '>' || after == ' ')) {
            const size_t end = envelope.find('<', close);
            return envelope.substr(close + 1, end - close - 1);
        }
        position += localName.size() + 1;
    }
    return std::string();
}

long KernelDrops() {
    std::ifstream snmp("/proc/thread-self/net/snmp");
    std::string header;
    std::string values;
    while (std::getline(snmp, header) && std::getline(snmp, values)) {
        if (header.rfind("Udp:", 0) != 0) {
            continue;
        }
        std::istringstream names(header);
        std::istringstream numbers(values);
        std::string name;
        std::string number;
        while (names >> name && numbers >> number) {
            if (name == "RcvbufErrors") {
                return std::atol(number.c_str());
            }
        }
    }
    return -1;
}
