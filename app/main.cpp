#include "ScoutcamApp.h"
#include "common/common_util.h"
#include "common/common_version.h"

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Exit statuses, as --help lists them.
const int kExitNoDisplay = 1;
const int kExitUsage = 2;

const char kUsage[] =
    "Usage: scoutcam [OPTION]\n"
    "Find the IP cameras and other ONVIF network video transmitters on the local network\n"
    "segments and list each one with its IP address, model, serial number, MAC address and\n"
    "firmware version. From the list, change a device's IP address, subnet mask and\n"
    "default gateway, restore its default password with a serial code, or open its web\n"
    "page.\n"
    "\n"
    "Auto Search probes by multicast and broadcast through every network interface; Exact\n"
    "Search probes every address of a range of at most 257 addresses. scoutcam-cli does the\n"
    "same from a shell, without a display.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "The standard options of Qt (-platform, -display, -style, ...) are accepted too.\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed\n"
    "  1  no window could be opened (no display)\n"
    "  2  invalid arguments\n"
    "\n"
    "Files:\n"
    "  ~/.config/Korvane/scoutcam.conf\n"
    "                      the last Exact Search range: keys DiscoveryBeginIpAddr and\n"
    "                      DiscoveryEndIpAddr of group Settings ($XDG_CONFIG_HOME\n"
    "                      replaces ~/.config when it is set)\n"
    "  $TMPDIR/scoutcam.log\n"
    "                      the log; without TMPDIR in $XDG_RUNTIME_DIR, else in\n"
    "                      /tmp/scoutcam-<uid> (a private folder); emptied at each start\n"
    "                      and beyond 2 MiB\n";

// Answers --help and --version, which need no display. True when the process is to end
// with *pStatus.
bool AnswerWithoutWindow(int argc, char** argv, int* pStatus) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            *pStatus = EXIT_SUCCESS;
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("scoutcam %s\n", SCOUTCAM_VERSION);
            *pStatus = EXIT_SUCCESS;
            return true;
        }
    }
    return false;
}

const char* EnvText(const char* pName) {
    const char* pValue = std::getenv(pName);
    return (pValue != nullptr && *pValue != '\0') ? pValue : "not set";
}

QtMessageHandler g_qtHandler = nullptr;

// While the application object is built, Qt ends the process with a fatal message (an abort
// and a core dump) when no platform plugin can open a display. Say so plainly and exit
// instead; every other message goes to Qt's own handler.
void ExitWhenNoDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        g_qtHandler(type, context, text);
        return;
    }
    std::fprintf(stderr,
                 "scoutcam: cannot open a window (DISPLAY: %s, WAYLAND_DISPLAY: %s).\n"
                 "scoutcam: it is a desktop program: start it in a graphical session, or use "
                 "scoutcam-cli where there is no display.\n",
                 EnvText("DISPLAY"), EnvText("WAYLAND_DISPLAY"));
    std::_Exit(kExitNoDisplay);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Narrow text is in the user's code set.
    std::setlocale(LC_ALL, "");
    int status = EXIT_SUCCESS;
    if (AnswerWithoutWindow(argc, argv, &status)) {
        return status;
    }
    KeepOutOfCoreFiles();
    g_qtHandler = qInstallMessageHandler(ExitWhenNoDisplay);
    QApplication qtApp(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    // Qt has taken its own options out of argv; anything left is not ours either.
    if (argc > 1) {
        std::fprintf(stderr, "scoutcam: unknown argument: %s\nTry 'scoutcam --help'.\n", argv[1]);
        return kExitUsage;
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("scoutcam"));
    CScoutcamApp app;
    app.InitInstance();
    return app.ExitInstance();
}
