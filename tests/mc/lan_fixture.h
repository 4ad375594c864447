#pragma once

// A virtual LAN for tests that send discovery traffic (scripts/vlan): a client namespace
// with eth0 198.18.0.1 on segment A and eth1 198.19.0.1 on segment B, and one device
// namespace per segment. Up() moves the calling thread into the client namespace, so a
// discovery client created afterwards (its thread inherits the namespace) sends and
// receives only there. Everything is removed again by the destructor.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One IPv4/UDP datagram seen on a device segment.
struct CapturedDatagram {
    uint32_t src = 0;  // host byte order
    uint32_t dst = 0;
    uint16_t srcPort = 0;
    uint16_t dstPort = 0;
    uint8_t ttl = 0;
    std::string payload;
};

class CTestLan {
public:
    CTestLan();
    ~CTestLan();
    CTestLan(const CTestLan&) = delete;
    CTestLan& operator=(const CTestLan&) = delete;

    // false with the reason when the network cannot be had (not root: the test skips).
    bool Up(std::string* pReason);

    // Starts camsim on segment 'a' or 'b' with the segment's interface, base address and seed
    // and the extra arguments, and waits for its ready line.
    bool StartCamsim(char segment, const std::vector<std::string>& args);
    // Stops the camsim of a segment and returns its statistics line.
    std::string StopCamsim(char segment);
    // Starts camflood on segment 'a' or 'b' with the arguments (it sends from the segment's
    // 198.18.0.2 or 198.19.0.2) and waits for its ready line.
    bool StartCamflood(char segment, const std::vector<std::string>& args);
    // Stops the camflood of a segment and returns its output (a "camflood flood:" line per
    // flood).
    std::string StopCamflood(char segment);

    // A packet socket on the device side of a segment, seeing every datagram that arrives
    // there from the client, and none that leaves it (-1 on failure). The caller closes it.
    int OpenCapture(char segment);
    // Makes the client resolve every address of [first, last] on a segment to the device
    // namespace's interface, so that datagrams to addresses without a device also reach the
    // capture instead of ending in a failed address resolution.
    bool ResolveAll(char segment, uint32_t first, uint32_t last);
    // Runs fn inside the namespace of 'a', 'b' or 'c' (client) on the calling thread.
    void InNamespace(char where, const std::function<void()>& fn);

    const std::string& Name() const { return m_name; }
    std::string Namespace(char where) const;

    static const char* Script();
    static const char* Camsim();
    static const char* Camflood();

private:
    // A tool running in a device namespace, and the read end of its standard output.
    struct Tool {
        pid_t pid = -1;
        int out = -1;
    };
    int EnterNamespace(char where);
    bool StartTool(char segment, std::vector<std::string> argv, const char* pReady, Tool* pTool);
    static std::string StopTool(Tool* pTool);

    std::string m_name;
    std::vector<std::string> m_namespaces;  // sw, cli, a, b
    int m_homeFd = -1;
    bool m_up = false;
    Tool m_camsim[2];
    Tool m_camflood[2];
};

// Datagrams from the client (destination port 3702) read from a capture socket until
// `count` arrived or `timeoutMs` passed without one.
std::vector<CapturedDatagram> ReadCapture(int fd, size_t count, int timeoutMs);

// The local name of the first element in the SOAP body, e.g. "Probe".
std::string BodyElement(const std::string& envelope);
// Text of the first element with this local name (any prefix), e.g. "MsgSeq".
std::string ElementText(const std::string& envelope, const std::string& localName);

uint32_t Ip(const char* pText);  // host byte order

// Udp RcvbufErrors of the calling thread's network namespace: datagrams the kernel dropped
// because a socket buffer was full; -1 if unreadable.
long KernelDrops();
