#pragma once
// The interface camsim serves: its name when it is the only one, adding and removing the
// devices' addresses on it (rtnetlink).

#include <cstdint>
#include <string>

class AddressTable {
public:
    AddressTable() = default;
    ~AddressTable();
    AddressTable(const AddressTable&) = delete;
    AddressTable& operator=(const AddressTable&) = delete;

    // Opens the netlink socket for interface ifindex. Returns false and sets error on failure.
    bool Open(int ifindex, std::string& error);
    // Adds ip/prefix (host order); an address already present counts as added.
    bool Add(uint32_t ip, uint32_t prefix, std::string& error);
    // Removes ip/prefix; an address already gone counts as removed.
    bool Remove(uint32_t ip, uint32_t prefix, std::string& error);

private:
    bool Request(int type, int flags, uint32_t ip, uint32_t prefix, std::string& error);

    int m_fd = -1;
    int m_ifindex = 0;
    uint32_t m_seq = 0;
};

// Lets the kernel promote a secondary address when the primary goes, so that removing one
// device's address never takes the others with it.
void EnablePromoteSecondaries(const std::string& iface);

// The only network interface besides lo; empty when there are none or several.
std::string OnlyInterface();
