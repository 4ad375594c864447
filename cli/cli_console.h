#pragma once

// What the console of each platform supplies to scoutcam-cli: cli_console_posix.cpp (a
// terminal) and cli_console_win.cpp (the Windows console).

#include <cstddef>
#include <memory>

// Whether standard input is a terminal that a person types into.
bool StdinIsTerminal();

// While it lives, what is typed on the terminal of standard input is not shown (where the
// terminal lets the echo be switched off); afterwards the terminal is as it was.
class CHiddenInput {
public:
    CHiddenInput();
    ~CHiddenInput();
    CHiddenInput(const CHiddenInput&) = delete;
    CHiddenInput& operator=(const CHiddenInput&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> m_pSaved;  // null when the terminal was left as it was
};

// Columns that one character, a valid UTF-8 sequence, takes on the terminal: 2 for wide East
// Asian characters. -1 when the platform does not know.
int CharColumns(const char* pUtf8, size_t length);
