// The program's main window against simulated cameras in the virtual LAN: Auto Search and
// Exact Search list them, an address change and a password restore end with the device's
// verdict. Runs only inside the client namespace of scripts/vlan (see CMakeLists.txt);
// anywhere else it skips without sending anything.

#include "ListCtrlEx.h"
#include "ScoutcamDlg.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "IpAddressCtrl.h"
#include "common/common_log.h"
#include "front/front_device_list.h"
#include "ui_script.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace {

struct Camera {
    QString ip, model, serial, mac, version, password, code;
};

// The fleet that scripts/vlan started on a segment, as camsim itself lists it.
QList<Camera> Fleet(const QString& base, int seed, int count) {
    QProcess camsim;
    camsim.start(qEnvironmentVariable("CAMSIM"),
                 {"--list", "csv", "--base", base, "--seed", QString::number(seed), "--count",
                  QString::number(count)});
    camsim.waitForFinished(10000);
    QList<Camera> cameras;
    const QStringList lines = QString::fromUtf8(camsim.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(QLatin1Char(','));
        if (f.size() >= 8) {
            cameras << Camera{f[0], f[1], f[3], f[4], f[5], f[6], f[7]};
        }
    }
    return cameras;
}

bool HasLocalAddress(const char* text) {
    in_addr wanted{};
    inet_pton(AF_INET, text, &wanted);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (ifaddrs* p = list; p; p = p->ifa_next) {
        if (p->ifa_addr && p->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr == wanted.s_addr) {
            found = true;
        }
    }
    freeifaddrs(list);
    return found;
}

uint32_t Host(const QString& ip) {
    return ntohl(inet_addr(ip.toLatin1().constData()));
}

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void autoSearchListsBothSegments();
    void exactSearchListsItsRange();
    void commandsAfterExactSearch();
    void commandsAfterAutoSearch();

private:
    void AutoSearch();
    void ExactSearch(const QString& begin, const QString& end);
    int RowOf(const QString& ip) const;
    QStringList Column(int column) const;
    // Runs a command from the row's menu; returns the text of the result box.
    QString EditAddress(const QString& rowIp, const QString& newIp, const QString& password);
    QString RestorePassword(const QString& rowIp, const QString& code);
    void RightClick(int row);

    QTemporaryDir m_logDir;
    QStringList m_unexpected;  // message boxes that no step waited for
    QList<Camera> m_segA;
    QList<Camera> m_segB;
    IDiscoveryClient* m_client = nullptr;  // the process's single client, never deleted
    CScoutcamDlg* m_dlg = nullptr;
    CUiScript* m_script = nullptr;
};

void TestEndToEnd::initTestCase() {
    // Discovery traffic goes out only inside the virtual LAN.
    if (qEnvironmentVariableIsEmpty("VLAN_NS_CLI") || !HasLocalAddress("198.18.0.1") ||
        !HasLocalAddress("198.19.0.1")) {
        QSKIP("not inside the client namespace of scripts/vlan; run through ctest as root");
    }
    // The client's log goes to this run's temporary folder, for a look after a failure.
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(m_logDir.path().toLocal8Bit().constData());
    pLog->StartLog();
    m_segA = Fleet(QStringLiteral("198.18.0.10"), 1, 6);
    m_segB = Fleet(QStringLiteral("198.19.0.10"), 2, 3);
    QCOMPARE(m_segA.size(), 6);
    QCOMPARE(m_segB.size(), 3);
    m_client = GetDiscoveryClient();
    QVERIFY(m_client);
    m_dlg = new CScoutcamDlg(m_client);
    m_script = new CUiScript;
    m_script->SweepUnexpectedBoxes(&m_unexpected);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
}

void TestEndToEnd::cleanupTestCase() {
    delete m_script;
    delete m_dlg;
    QVERIFY2(m_unexpected.isEmpty(), qPrintable(m_unexpected.join(QLatin1Char('|'))));
    if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("SCOUTCAM_SHOW_LOG")) {
        QFile log(m_logDir.path() + QStringLiteral("/scoutcam.log"));
        if (log.open(QIODevice::ReadOnly)) {
            qInfo().noquote() << log.readAll();
        }
    }
}

void TestEndToEnd::AutoSearch() {
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    Button(m_dlg, QStringLiteral("Auto Search"))->click();
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 5000));
}

void TestEndToEnd::ExactSearch(const QString& begin, const QString& end) {
    m_script->OnModal<CSubnetSectDlg>([begin, end](CSubnetSectDlg* dlg) {
        dlg->BeginCtrl()->SetAddress(Host(begin));
        dlg->EndCtrl()->SetAddress(Host(end));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    Button(m_dlg, QStringLiteral("Exact Search..."))->click();
    QVERIFY(m_script->WaitDone());
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 5000));
}

int TestEndToEnd::RowOf(const QString& ip) const {
    for (int row = 0; row < m_dlg->List()->rowCount(); ++row) {
        if (m_dlg->List()->item(row, 1)->text() == ip) {
            return row;
        }
    }
    return -1;
}

QStringList TestEndToEnd::Column(int column) const {
    QStringList cells;
    for (int row = 0; row < m_dlg->List()->rowCount(); ++row) {
        cells << m_dlg->List()->item(row, column)->text();
    }
    cells.sort();
    return cells;
}

void TestEndToEnd::RightClick(int row) {
    CListCtrlEx* list = m_dlg->List();
    QPoint pos = list->visualItemRect(list->item(row, 1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
}

QString TestEndToEnd::EditAddress(const QString& rowIp, const QString& newIp,
                                  const QString& password) {
    const int row = RowOf(rowIp);
    if (row < 0) {
        return QStringLiteral("<no row %1>").arg(rowIp);
    }
    QString result;
    QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>([newIp, password](CSetAddrDlg* dlg) {
        dlg->IpCtrl()->SetAddress(Host(newIp));
        dlg->MaskCtrl()->SetAddress(Host(QStringLiteral("255.255.0.0")));
        dlg->PasswordEdit()->setText(password);
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(row);
    if (!done.wait(15000) || !m_script->WaitDone()) {
        return QStringLiteral("<no result>");
    }
    return result;
}

QString TestEndToEnd::RestorePassword(const QString& rowIp, const QString& code) {
    const int row = RowOf(rowIp);
    if (row < 0) {
        return QStringLiteral("<no row %1>").arg(rowIp);
    }
    QString result;
    QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
    m_script->ChooseMenu(QStringLiteral("Restore Device Password"));
    m_script->OnModal<CSerialDlg>([code](CSerialDlg* dlg) {
        dlg->SerialEdit()->setText(code);
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(row);
    if (!done.wait(15000) || !m_script->WaitDone()) {
        return QStringLiteral("<no result>");
    }
    return result;
}

void TestEndToEnd::autoSearchListsBothSegments() {
    AutoSearch();
    QStringList ips;
    QStringList serials;
    QStringList macs;
    for (const Camera& c : m_segA + m_segB) {
        ips << c.ip;
        serials << c.serial;
        macs << QString::fromStdString(FormatMacAddr(c.mac.toStdString()));
    }
    ips.sort();
    serials.sort();
    macs.sort();
    QCOMPARE(Column(1), ips);
    QCOMPARE(Column(3), serials);
    QCOMPARE(Column(4), macs);
    QCOMPARE(m_dlg->Total(), 9);
    const int row = RowOf(m_segA[0].ip);
    QCOMPARE(m_dlg->List()->item(row, 5)->text(), m_segA[0].version);
    QCOMPARE(m_dlg->List()->item(row, 4)->text().size(), 17);  // NN-NN-NN-NN-NN-NN
}

void TestEndToEnd::exactSearchListsItsRange() {
    ExactSearch(m_segB[1].ip, m_segB[2].ip);
    QCOMPARE(Column(1), (QStringList{m_segB[1].ip, m_segB[2].ip}));
    ExactSearch(m_segA[3].ip, m_segA[3].ip);
    QCOMPARE(Column(1), QStringList{m_segA[3].ip});
}

void TestEndToEnd::commandsAfterExactSearch() {
    const Camera cam = m_segB[1];
    const QString newIp = QStringLiteral("198.19.0.100");
    ExactSearch(cam.ip, cam.ip);
    QCOMPARE(Column(1), QStringList{cam.ip});
    QCOMPARE(EditAddress(cam.ip, newIp, QStringLiteral("wrong")),
             QStringLiteral("Device password error."));
    QCOMPARE(RowOf(cam.ip), 0);
    QCOMPARE(EditAddress(cam.ip, newIp, cam.password), QStringLiteral("Succeed"));
    QCOMPARE(RowOf(newIp), 0);
    // The row now leads to the moved device.
    QCOMPARE(RestorePassword(newIp, QStringLiteral("BADCODE")),
             QStringLiteral("Device serial code is invalid."));
    QCOMPARE(RestorePassword(newIp, cam.code), QStringLiteral("Succeed"));
    ExactSearch(newIp, newIp);
    QCOMPARE(Column(1), QStringList{newIp});
    // The restored password is "admin".
    QCOMPARE(EditAddress(newIp, cam.ip, QStringLiteral("admin")), QStringLiteral("Succeed"));
}

void TestEndToEnd::commandsAfterAutoSearch() {
    AutoSearch();
    QCOMPARE(m_dlg->Total(), 9);
    const Camera cam = m_segA[2];
    // Sent through every interface; only the device itself answers.
    QCOMPARE(EditAddress(cam.ip, m_segA[4].ip, cam.password),
             QStringLiteral("Device IP conflict."));
    QCOMPARE(RestorePassword(cam.ip, cam.code), QStringLiteral("Succeed"));
    QCOMPARE(EditAddress(cam.ip, QStringLiteral("198.18.0.200"), QStringLiteral("admin")),
             QStringLiteral("Succeed"));
    QVERIFY(RowOf(QStringLiteral("198.18.0.200")) >= 0);
}

SCOUTCAM_TEST_MAIN(TestEndToEnd)
#include "test_e2e.moc"
