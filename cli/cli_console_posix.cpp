// The terminal on Linux: termios for the echo, the locale's wcwidth for the columns.

#include <termios.h>
#include <unistd.h>

#include <cwchar>

#include "cli_console.h"

struct CHiddenInput::Saved {
    termios mode;
};

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

CHiddenInput::CHiddenInput() {
    termios mode;
    if (tcgetattr(STDIN_FILENO, &mode) != 0) {
        return;
    }
    termios noEcho = mode;
    noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho) == 0) {
        m_pSaved.reset(new Saved{mode});
    }
}

CHiddenInput::~CHiddenInput() {
    if (m_pSaved) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_pSaved->mode);
    }
}

int CharColumns(const char* pUtf8, size_t length) {
    wchar_t character = 0;
    std::mbstate_t state{};
    return std::mbrtowc(&character, pUtf8, length, &state) == length ? wcwidth(character) : -1;
}
