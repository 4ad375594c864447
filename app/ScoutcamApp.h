#pragma once

// The application: brings up the log, the settings key and the discovery client, runs the
// main window until it closes, and stops the log at exit. Needs a QApplication.
class CScoutcamApp {
public:
    // Runs the program; false in every case, as there is no message loop after the window.
    bool InitInstance();
    // Stops the log; "log thread Ended" is its last record. Returns the exit code.
    int ExitInstance();
};
