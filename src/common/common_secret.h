#pragma once

// Passwords, serial codes and text made from them (the scrambled password, a rendered
// request) are overwritten in memory once they are no longer needed, so that memory given
// back, or a core file written later, does not keep them.

#include <cstddef>
#include <string>
#include <string_view>

// Overwrites size bytes at pBytes with zeros, by a write the compiler keeps even when the
// memory is released right after.
void WipeBytes(void* pBytes, size_t size);

// A secret text in a heap block of its own, NUL-terminated. Its bytes are wiped when the text
// is destroyed, assigned over, cleared or shortened, and the old block when the text grows
// into a larger one. Move-only, so no copy is made without being seen; a move hands the block
// over and leaves the source empty.
class CSecretText {
public:
    CSecretText() = default;
    CSecretText(const char* pData, size_t size);
    explicit CSecretText(std::string_view text) : CSecretText(text.data(), text.size()) {}
    explicit CSecretText(const char* pText) : CSecretText(std::string_view(pText)) {}
    // Takes the text of a string that already holds a secret, and wipes that string.
    explicit CSecretText(std::string&& text);
    ~CSecretText();
    CSecretText(CSecretText&& other) noexcept;
    CSecretText& operator=(CSecretText&& other) noexcept;
    CSecretText(const CSecretText&) = delete;
    CSecretText& operator=(const CSecretText&) = delete;

    const char* CStr() const { return m_pBytes != nullptr ? m_pBytes : ""; }
    size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    std::string_view View() const { return std::string_view(CStr(), m_size); }

    // Room for capacity bytes before the block has to grow.
    void Reserve(size_t capacity);
    void Append(const char* pData, size_t size);
    void Append(char c) { Append(&c, 1); }
    // Wipes the last size bytes (at most all) and drops them.
    void Shrink(size_t size);
    // Wipes the text; the block stays for the next one.
    void Clear() { Shrink(m_size); }

private:
    void Release();

    char* m_pBytes = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;  // bytes of text the block holds, without the NUL
};
