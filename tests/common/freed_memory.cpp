#include "freed_memory.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

// Each block starts with its size, in a header that keeps the caller's part aligned.
constexpr size_t kHeader = alignof(std::max_align_t);

std::atomic<const CFreedMemoryWatch*> g_pWatch{nullptr};
std::atomic<int> g_looking{0};  // releases that are searching the blocks right now

void* Allocate(size_t size) noexcept {
    auto* pBase = static_cast<char*>(std::malloc(size + kHeader));
    if (pBase == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<size_t*>(pBase) = size;
    return pBase + kHeader;
}

void Release(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    char* pBase = static_cast<char*>(p) - kHeader;
    if (g_pWatch.load() != nullptr) {
        g_looking.fetch_add(1);
        if (const CFreedMemoryWatch* pWatch = g_pWatch.load()) {
            pWatch->Look(static_cast<const char*>(p), *reinterpret_cast<size_t*>(pBase));
        }
        g_looking.fetch_sub(1);
    }
    std::free(pBase);
}

void* AllocateOrThrow(size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace

CFreedMemoryWatch::CFreedMemoryWatch(std::vector<std::string> texts) : m_texts(std::move(texts)) {
    g_pWatch.store(this);
}

CFreedMemoryWatch::~CFreedMemoryWatch() {
    g_pWatch.store(nullptr);
    while (g_looking.load() != 0) {
        std::this_thread::yield();
    }
}

void CFreedMemoryWatch::Look(const char* pBlock, size_t size) const {
    for (const std::string& text : m_texts) {
        if (!text.empty() &&
            std::search(pBlock, pBlock + size, text.begin(), text.end()) != pBlock + size) {
            m_hits.fetch_add(1);
        }
    }
}

void* operator new(size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
