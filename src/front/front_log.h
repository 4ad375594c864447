#pragma once

// The log of both programs: scoutcam.log in the user's temporary directory, every record from
// DEBUG up.

// The user's temporary directory: $TMPDIR, else /tmp.
const char* UserTempDir();

// Opens the log there, emptied, and starts the log thread. 0, or the code of the start.
int StartProgramLog();
