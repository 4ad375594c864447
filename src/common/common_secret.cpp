#include "common/common_secret.h"

#include <cstring>
#include <utility>

void WipeBytes(void* pBytes, size_t size) {
    // Through a volatile pointer: the compiler may not drop stores to memory about to be freed.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(pBytes);
    for (size_t i = 0; i < size; ++i) {
        p[i] = 0;
    }
}

CSecretText::CSecretText(const char* pData, size_t size) {
    Append(pData, size);
}

CSecretText::CSecretText(std::string&& text) {
    Append(text.data(), text.size());
    WipeBytes(&text[0], text.size());
    text.clear();
}

CSecretText::~CSecretText() {
    Release();
}

CSecretText::CSecretText(CSecretText&& other) noexcept
    : m_pBytes(std::exchange(other.m_pBytes, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

CSecretText& CSecretText::operator=(CSecretText&& other) noexcept {
    if (this != &other) {
        Release();
        m_pBytes = std::exchange(other.m_pBytes, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void CSecretText::Reserve(size_t capacity) {
    if (capacity <= m_capacity) {
        return;
    }
    char* pBytes = new char[capacity + 1];
    if (m_size > 0) {
        memcpy(pBytes, m_pBytes, m_size);
    }
    pBytes[m_size] = '\0';
    const size_t size = m_size;
    Release();
    m_pBytes = pBytes;
    m_size = size;
    m_capacity = capacity;
}

void CSecretText::Append(const char* pData, size_t size) {
    if (size == 0) {
        return;
    }
    if (m_size + size > m_capacity) {
        // Doubling keeps appends one byte at a time cheap; every old block is wiped.
        const size_t doubled = 2 * m_capacity;
        Reserve(m_size + size > doubled ? m_size + size : doubled);
    }
    memcpy(m_pBytes + m_size, pData, size);
    m_size += size;
    m_pBytes[m_size] = '\0';
}

void CSecretText::Shrink(size_t size) {
    if (size > m_size) {
        size = m_size;
    }
    if (size == 0) {
        return;
    }
    m_size -= size;
    WipeBytes(m_pBytes + m_size, size);
}

void CSecretText::Release() {
    if (m_pBytes != nullptr) {
        WipeBytes(m_pBytes, m_size);
        delete[] m_pBytes;
    }
    m_pBytes = nullptr;
    m_size = 0;
    m_capacity = 0;
}
