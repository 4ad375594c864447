// The terminal on Linux: a secret typed on it is not shown, and the echo comes back after.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "cli_console.h"

namespace {

// Standard input taken from another descriptor while it lives.
class CStdinFrom {
public:
    explicit CStdinFrom(int fd) : m_saved(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~CStdinFrom() {
        dup2(m_saved, STDIN_FILENO);
        close(m_saved);
    }
    CStdinFrom(const CStdinFrom&) = delete;
    CStdinFrom& operator=(const CStdinFrom&) = delete;

private:
    int m_saved;
};

bool Echoes(int fd) {
    termios mode;
    return tcgetattr(fd, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
}

TEST(CliConsole, NoEchoOnTheTerminalWhileASecretIsRead) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_TRUE(Echoes(terminal));
    bool isTerminal = false;
    bool echoWhileHidden = true;
    {
        CStdinFrom input(terminal);
        isTerminal = StdinIsTerminal();
        CHiddenInput hidden;
        echoWhileHidden = Echoes(terminal);
    }
    EXPECT_TRUE(isTerminal);
    EXPECT_FALSE(echoWhileHidden);
    EXPECT_TRUE(Echoes(terminal));
    close(terminal);
    close(master);
}

TEST(CliConsole, APipeIsNoTerminal) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    bool isTerminal = true;
    {
        CStdinFrom input(pipeEnds[0]);
        isTerminal = StdinIsTerminal();
        CHiddenInput hidden;  // nothing to hide on a pipe, and nothing breaks
    }
    EXPECT_FALSE(isTerminal);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

}  // namespace
