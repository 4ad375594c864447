#pragma once
// The event loop of camsim: one UDP socket serves every device, a signal descriptor takes
// SIGTERM/SIGINT/SIGUSR1, and one timer queue holds the answers until they are due. Each
// answer leaves from its device's own address. Single-threaded.

#include <chrono>
#include <cstdint>
#include <queue>
#include <string>
#include <vector>

#include "camsim_netaddr.h"
#include "camsim_options.h"
#include "camsim_policy.h"

class Simulator : public Host {
public:
    Simulator(const Options& options, std::vector<Device> fleet);
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Blocks the signals, adds the devices' addresses and opens the socket.
    bool Start(std::string& error);
    // Serves until SIGTERM or SIGINT (after which it has printed the statistics).
    void Run();
    void PrintStats() const;
    // Removes the addresses that Start and address changes added.
    void RemoveAddresses();

    bool IsLocalAddress(uint32_t ip) override;
    bool AddAddress(uint32_t ip, uint32_t prefix) override;

private:
    using Clock = std::chrono::steady_clock;

    // One copy of an answer waiting in the timer queue.
    struct Queued {
        Clock::time_point due;
        uint64_t order = 0;  // keeps answers due at the same time in the order they were made
        Answer answer;
        bool last = true;  // the last copy: the one after which a left address goes
    };
    struct Later {
        bool operator()(const Queued& a, const Queued& b) const {
            return a.due != b.due ? a.due > b.due : a.order > b.order;
        }
    };

    bool BlockSignals(std::string& error);
    bool AddAddresses(std::string& error);
    bool OpenSocket(std::string& error);
    bool HandleSignal();
    void ReceiveAll();
    void Schedule(Answer answer);
    void SendDue();
    void Send(const Queued& queued);

    const Options& m_options;
    DevicePolicy m_policy;
    AddressTable m_addresses;
    int m_ifindex = 0;
    int m_socket = -1;
    int m_signals = -1;
    uint64_t m_order = 0;
    std::priority_queue<Queued, std::vector<Queued>, Later> m_queue;
    unsigned long long m_datagrams = 0;
    unsigned long long m_sendErrors = 0;
};
