// The Windows console: its input mode for the echo, the character types of Windows for the
// columns.

#include <windows.h>

#include "cli_console.h"

struct CHiddenInput::Saved {
    HANDLE input;
    DWORD mode;
};

namespace {

// The console behind standard input and its mode; false when standard input is none.
bool InputConsole(HANDLE* pInput, DWORD* pMode) {
    *pInput = GetStdHandle(STD_INPUT_HANDLE);
    return *pInput != nullptr && *pInput != INVALID_HANDLE_VALUE &&
           GetConsoleMode(*pInput, pMode) != FALSE;
}

}  // namespace

bool StdinIsTerminal() {
    HANDLE input = nullptr;
    DWORD mode = 0;
    return InputConsole(&input, &mode);
}

CHiddenInput::CHiddenInput() {
    HANDLE input = nullptr;
    DWORD mode = 0;
    if (InputConsole(&input, &mode) &&
        SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != FALSE) {
        m_pSaved.reset(new Saved{input, mode});
    }
}

CHiddenInput::~CHiddenInput() {
    if (m_pSaved) {
        SetConsoleMode(m_pSaved->input, m_pSaved->mode);
    }
}

int CharColumns(const char* pUtf8, size_t length) {
    wchar_t units[2] = {};  // one character: a unit, or a surrogate pair
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pUtf8,
                                          static_cast<int>(length), units, 2);
    WORD types[2] = {};
    if (count == 0 || GetStringTypeW(CT_CTYPE3, units, count, types) == FALSE) {
        return -1;
    }
    return (types[0] & C3_FULLWIDTH) != 0 ? 2 : 1;
}
