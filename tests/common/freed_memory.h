#pragma once

// A test program that links this has its own global operator new and delete: while a
// CFreedMemoryWatch lives, every block released through operator delete, on any thread, is
// searched for the watched texts just before it goes back to the heap. A text that was wiped
// before its block was released is not found there. Memory of malloc (the SOAP toolkit's,
// Qt's), the stack and static buffers are not seen.

#include <atomic>
#include <string>
#include <vector>

class CFreedMemoryWatch {
public:
    // One watch at a time. The watch starts within the statement that makes it: texts given
    // as temporaries longer than a string keeps inline would be found when they are released.
    explicit CFreedMemoryWatch(std::vector<std::string> texts);
    ~CFreedMemoryWatch();
    CFreedMemoryWatch(const CFreedMemoryWatch&) = delete;
    CFreedMemoryWatch& operator=(const CFreedMemoryWatch&) = delete;

    // Released blocks so far that held one of the texts.
    int Hits() const { return m_hits.load(); }

    // Called for each released block while the watch lives.
    void Look(const char* pBlock, size_t size) const;

private:
    const std::vector<std::string> m_texts;
    mutable std::atomic<int> m_hits{0};
};
