// Start-up and exit of the program: the log in the user's temporary folder, an empty list,
// nothing sent, and "log thread Ended" as the log's last record. Runs inside the client
// namespace of scripts/vlan, where the simulated cameras count what they receive.

#include "ScoutcamApp.h"
#include "front/front_log.h"
#include "ScoutcamDlg.h"
#include "ListCtrlEx.h"
#include "ui_script.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QtTest>
#include <csignal>

namespace {

// camsim's count of received datagrams, from the statistics line SIGUSR1 makes it print.
int CamsimReceived(const char* pidVar, const char* logVar) {
    const int pid = qEnvironmentVariableIntValue(pidVar);
    if (pid <= 0 || ::kill(pid, SIGUSR1) != 0) {
        return -1;
    }
    QTest::qWait(300);
    QFile log(qEnvironmentVariable(logVar));
    if (!log.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QStringList lines =
        QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const int at = it->indexOf(QStringLiteral("received="));
        if (at >= 0) {
            return it->mid(at + 9).section(QLatin1Char(' '), 0, 0).toInt();
        }
    }
    return -1;
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void startsQuietlyAndLogsToTheEnd();
};

void TestStartup::startsQuietlyAndLogsToTheEnd() {
    if (qEnvironmentVariableIsEmpty("VLAN_NS_CLI")) {
        QSKIP("not inside the client namespace of scripts/vlan; run through ctest as root");
    }
    QTemporaryDir tmp;
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    QCOMPARE(QString::fromLocal8Bit(UserTempDir()), tmp.path());

    int rows = -1;
    QString count;
    QString org;
    CUiScript script;
    script.OnModal<CScoutcamDlg>([&](CScoutcamDlg* dlg) {
        rows = dlg->List()->rowCount();
        count = QString::number(dlg->Total());
        org = QCoreApplication::organizationName();
        QTimer::singleShot(1000, dlg, [dlg]() { QTest::keyClick(dlg, Qt::Key_Escape); });
    });
    CScoutcamApp app;
    QCOMPARE(app.InitInstance(), false);
    QCOMPARE(app.ExitInstance(), 0);
    QVERIFY(script.Done());
    QCOMPARE(rows, 0);
    QCOMPARE(count, QStringLiteral("0"));
    QCOMPARE(org, QStringLiteral("Korvane"));

    QFile file(tmp.path() + QStringLiteral("/scoutcam.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().contains(QStringLiteral("log thread Ended")), qPrintable(lines.last()));
    QVERIFY(lines.filter(QStringLiteral("exit the program")).size() == 1);

    // Start-up sent nothing to either segment.
    QCOMPARE(CamsimReceived("VLAN_CAMSIM_A_PID", "VLAN_CAMSIM_A_LOG"), 0);
    QCOMPARE(CamsimReceived("VLAN_CAMSIM_B_PID", "VLAN_CAMSIM_B_LOG"), 0);
}

SCOUTCAM_TEST_MAIN(TestStartup)
#include "test_startup.moc"
