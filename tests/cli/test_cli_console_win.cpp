// The Windows console: a secret typed on it is not shown, and the echo comes back after.

#include <gtest/gtest.h>

#include <windows.h>

#include "cli_console.h"

namespace {

// Standard input taken from another handle while it lives.
class CStdinFrom {
public:
    explicit CStdinFrom(HANDLE handle) : m_saved(GetStdHandle(STD_INPUT_HANDLE)) {
        SetStdHandle(STD_INPUT_HANDLE, handle);
    }
    ~CStdinFrom() { SetStdHandle(STD_INPUT_HANDLE, m_saved); }
    CStdinFrom(const CStdinFrom&) = delete;
    CStdinFrom& operator=(const CStdinFrom&) = delete;

private:
    HANDLE m_saved;
};

bool Echoes(HANDLE console) {
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) != FALSE && (mode & ENABLE_ECHO_INPUT) != 0;
}

TEST(CliConsole, NoEchoOnTheConsoleWhileASecretIsRead) {
    HANDLE console =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == FALSE) {
        const DWORD error = GetLastError();
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        GTEST_SKIP() << "no console to type on (errorcode " << error
                     << "): Wine gives none to a program started without a terminal";
    }
    const bool echoBefore = Echoes(console);
    bool isTerminal = false;
    bool echoWhileHidden = true;
    {
        CStdinFrom input(console);
        isTerminal = StdinIsTerminal();
        CHiddenInput hidden;
        echoWhileHidden = Echoes(console);
    }
    const bool echoAfter = Echoes(console);
    CloseHandle(console);
    EXPECT_TRUE(echoBefore);
    EXPECT_TRUE(isTerminal);
    EXPECT_FALSE(echoWhileHidden);
    EXPECT_TRUE(echoAfter);
}

TEST(CliConsole, APipeIsNoTerminal) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    bool isTerminal = true;
    {
        CStdinFrom input(readEnd);
        isTerminal = StdinIsTerminal();
        CHiddenInput hidden;  // nothing to hide on a pipe, and nothing breaks
    }
    EXPECT_FALSE(isTerminal);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

}  // namespace
