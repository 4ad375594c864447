// The log's file and directory on Linux: a shared temporary directory is hostile.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_log_posix.h"
#include "log_test_support.h"
#include "test_support.h"

namespace {

TEST_F(SysLogTest, TheLogIsPrivateToItsUser) {
    WriteFile(LogFile(), "old content\n");
    ASSERT_EQ(0, chmod(LogFile().c_str(), 0666));
    m_log.SetLogDir(m_dir.Path().c_str());
    struct stat st;
    ASSERT_EQ(0, stat(LogFile().c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0u, st.st_mode & 077) << "the log is private to its user";
}

TEST_F(SysLogTest, NeverFollowsASymbolicLink) {
    CTempDir other;
    std::string target = other.File("victim");
    WriteFile(target, "precious");
    ASSERT_EQ(0, symlink(target.c_str(), LogFile().c_str()));
    std::string dangling = other.File("not_there");
    CTempDir dir2;
    ASSERT_EQ(0, symlink(dangling.c_str(), dir2.File("scoutcam.log").c_str()));

    m_log.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(m_log);
    EXPECT_EQ("precious", ReadFile(target));

    m_log.SetLogDir(dir2.Path().c_str());
    ExpectClosed(m_log);
    EXPECT_NE(0, access(dangling.c_str(), F_OK)) << "a dangling link must not create its target";
}

TEST_F(SysLogTest, RefusesWhatIsNotARegularFile) {
    ASSERT_EQ(0, mkfifo(LogFile().c_str(), 0666));  // opening a fifo for writing would block
    m_log.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(m_log);
}

TEST_F(SysLogTest, NeverEmptiesAFileOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    WriteFile(LogFile(), "someone else's log");
    ASSERT_EQ(0, chown(LogFile().c_str(), 65534, 65534));
    m_log.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(m_log);
    EXPECT_EQ("someone else's log", ReadFile(LogFile()));
    struct stat st;
    ASSERT_EQ(0, stat(LogFile().c_str(), &st));
    EXPECT_EQ(65534u, st.st_uid);
}

// Sets environment variables for one test and restores them afterwards.
class CEnvironment {
public:
    ~CEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value.first) {
                setenv(name.c_str(), value.second.c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const char* pName, const char* pValue) {
        if (m_saved.count(pName) == 0) {
            const char* pOld = getenv(pName);
            m_saved[pName] = {pOld != nullptr, pOld != nullptr ? pOld : ""};
        }
        if (pValue != nullptr) {
            setenv(pName, pValue, 1);
        } else {
            unsetenv(pName);
        }
    }

private:
    std::map<std::string, std::pair<bool, std::string>> m_saved;
};

TEST(UserTempDirTest, TmpdirThenXdgRuntimeDirThenAPrivateDirectory) {
    const std::string privateDir = "/tmp/scoutcam-" + std::to_string(geteuid());
    struct {
        const char* pTmpdir;
        const char* pRuntimeDir;
        std::string expected;
    } cases[] = {
        {"/var/tmp/t", "/run/user/7", "/var/tmp/t"},
        {"", "/run/user/7", "/run/user/7"},
        {nullptr, "/run/user/7", "/run/user/7"},
        {nullptr, "", privateDir},
        {nullptr, nullptr, privateDir},
    };
    for (const auto& c : cases) {
        CEnvironment env;
        env.Set("TMPDIR", c.pTmpdir);
        env.Set("XDG_RUNTIME_DIR", c.pRuntimeDir);
        std::string dir;
        ASSERT_EQ(RESULT_OK, GetUserTempDir(dir)) << c.expected;
        EXPECT_EQ(c.expected, dir);
    }
}

TEST(UserTempDirTest, PrivateDirectoryIsCreatedWithMode0700) {
    CTempDir base;
    const std::string expected = base.File("scoutcam-" + std::to_string(geteuid()));
    for (int call = 0; call < 2; ++call) {  // created, then found
        std::string dir;
        ASSERT_EQ(RESULT_OK, GetPrivateTempDir(base.Path().c_str(), dir));
        EXPECT_EQ(expected, dir);
        struct stat st;
        ASSERT_EQ(0, lstat(dir.c_str(), &st));
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(0700u, st.st_mode & 07777);
    }
}

TEST(UserTempDirTest, PrivateDirectoryIsRefusedWhenItIsAnythingElse) {
    enum Kind { OPEN_MODE, LINK, FILE, FOREIGN };
    for (Kind kind : {OPEN_MODE, LINK, FILE, FOREIGN}) {
        if (kind == FOREIGN && geteuid() != 0) {
            continue;  // needs root to give a directory to another user
        }
        CTempDir base;
        CTempDir elsewhere;  // a private directory of this user, reached through a link
        ASSERT_EQ(0, chmod(elsewhere.Path().c_str(), 0700));
        const std::string path = base.File("scoutcam-" + std::to_string(geteuid()));
        switch (kind) {
        case OPEN_MODE:
            ASSERT_EQ(0, mkdir(path.c_str(), 0700));
            ASSERT_EQ(0, chmod(path.c_str(), 0755));
            break;
        case LINK:
            ASSERT_EQ(0, symlink(elsewhere.Path().c_str(), path.c_str()));
            break;
        case FILE:
            WriteFile(path, "");
            ASSERT_EQ(0, chmod(path.c_str(), 0700));
            break;
        case FOREIGN:
            ASSERT_EQ(0, mkdir(path.c_str(), 0700));
            ASSERT_EQ(0, chown(path.c_str(), 65534, 65534));
            break;
        }
        std::string dir = "unchanged";
        EXPECT_EQ(ERR_IO, GetPrivateTempDir(base.Path().c_str(), dir)) << kind;
        EXPECT_EQ("unchanged", dir) << kind;
    }
}

}  // namespace
