#include "ScoutcamApp.h"

#include <QApplication>
#include <clocale>

int main(int argc, char* argv[]) {
    // Narrow text is in the user's code set.
    std::setlocale(LC_ALL, "");
    QApplication qtApp(argc, argv);
    CScoutcamApp app;
    app.InitInstance();
    return app.ExitInstance();
}
