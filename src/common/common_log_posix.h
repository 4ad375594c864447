#pragma once

#include <string>

// The private temporary directory that the log falls back to on Linux when neither $TMPDIR nor
// $XDG_RUNTIME_DIR is set: <pBase>/scoutcam-<uid>. It is created with mode 0700 when missing;
// an existing one is used only when it is a directory (not a link) of this user with mode
// 0700. 0, or 10005 (reported); dir is set only on success.
int GetPrivateTempDir(const char* pBase, std::string& dir);
