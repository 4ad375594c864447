// The log's file and directory on Windows: never written through a link, nor into a file of
// another user.

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"
#include "log_test_support.h"
#include "test_support.h"

namespace {

TEST_F(SysLogTest, ALogKeptOpenByAReaderIsStillEmptied) {
    // A reader such as a "tail" of the log, still open from the last start.
    WriteFile(LogFile(), "old content\n");
    HANDLE hReader =
        CreateFileA(LogFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hReader);
    m_log.SetLogDir(m_dir.Path().c_str());
    EXPECT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "new content"));
    CloseHandle(hReader);
    std::vector<std::string> lines = SplitLines(ReadFile(LogFile()));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("new content", TextOf(lines[0]));
}

TEST_F(SysLogTest, NeverEmptiesAFileOfAnotherUser) {
    WriteFile(LogFile(), "someone else's log");
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, sid, &sidSize));
    std::string path = LogFile();
    DWORD error = SetNamedSecurityInfoA(&path[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid,
                                        nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) {
        GTEST_SKIP() << "cannot give a file to another owner here (errorcode " << error
                     << "): Windows needs the restore privilege";
    }
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                    &pOwner, nullptr, nullptr, nullptr, &pDescriptor));
    const bool given = EqualSid(pOwner, sid) != FALSE;
    LocalFree(pDescriptor);
    if (!given) {
        GTEST_SKIP() << "the new owner was accepted but not kept (Wine reports the Unix owner)";
    }
    m_log.SetLogDir(m_dir.Path().c_str());
    ExpectClosed(m_log);
    EXPECT_EQ("someone else's log", ReadFile(LogFile()));
}

TEST_F(SysLogTest, NeverFollowsASymbolicLink) {
    CTempDir other;
    std::string target = other.File("victim");
    WriteFile(target, "precious");
    const DWORD allowUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!CreateSymbolicLinkA(LogFile().c_str(), target.c_str(), allowUnprivileged)) {
        GTEST_SKIP() << "no symbolic link can be made here (errorcode " << GetLastError()
                     << "): Windows needs the privilege or developer mode";
    }
    const DWORD attributes = GetFileAttributesA(LogFile().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "CreateSymbolicLinkA reported success but made no link (Wine)";
    }
    m_log.SetLogDir(m_dir.Path().c_str());
    m_log.Write(LEVEL_INFO, "a.cpp", 1, "a line");
    EXPECT_EQ("precious", ReadFile(target));
}

TEST_F(SysLogTest, OthersMayReadTheOpenLogButNotWriteOrDeleteIt) {
    m_log.SetLogDir(m_dir.Path().c_str());
    ASSERT_EQ(RESULT_OK, m_log.Write(LEVEL_INFO, "a.cpp", 1, "a line"));
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

    HANDLE hRead = CreateFileA(LogFile().c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, hRead);
    if (hRead != INVALID_HANDLE_VALUE) {
        CloseHandle(hRead);
    }
    HANDLE hWrite = CreateFileA(LogFile().c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hWrite);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    if (hWrite != INVALID_HANDLE_VALUE) {
        CloseHandle(hWrite);
    }
    EXPECT_FALSE(DeleteFileA(LogFile().c_str()));
    EXPECT_EQ(1u, SplitLines(ReadFile(LogFile())).size());
}

TEST(UserTempDirTest, IsTheTemporaryDirectoryOfWindows) {
    CTempDir dir;
    char saved[MAX_PATH + 1] = {};
    const bool hadTmp = GetEnvironmentVariableA("TMP", saved, sizeof(saved)) > 0;
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", dir.Path().c_str()));
    std::string tempDir;
    const int result = GetUserTempDir(tempDir);
    SetEnvironmentVariableA("TMP", hadTmp ? saved : nullptr);

    ASSERT_EQ(RESULT_OK, result);
    EXPECT_EQ(dir.Path() + "\\", tempDir);
    CSysLog log;
    log.SetLogDir(tempDir.c_str());
    EXPECT_EQ(RESULT_OK, log.Write(LEVEL_INFO, "a.cpp", 1, "in the temporary directory"));
    EXPECT_EQ(1u, SplitLines(ReadFile(dir.File("scoutcam.log"))).size());
}

}  // namespace
