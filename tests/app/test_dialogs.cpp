// Texts, the IP address control, the three input dialogs, the wait window, the about box and
// the image control.

#include "AboutDlg.h"
#include "ErrMsg.h"
#include "ImageStatic.h"
#include "IpAddressCtrl.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "common/common_log.h"
#include "ui_script.h"

#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {

uint32_t Ip(const char* text) {
    QStringList parts = QString::fromLatin1(text).split(QLatin1Char('.'));
    uint32_t value = 0;
    for (const QString& part : parts) {
        value = (value << 8) | part.toUInt();
    }
    return value;
}

QString IpText(uint32_t ip) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xFF)
        .arg((ip >> 8) & 0xFF)
        .arg(ip & 0xFF);
}

QLineEdit* Field(CIpAddressCtrl* ctrl, int i) {
    return ctrl->findChild<QLineEdit*>(QStringLiteral("field%1").arg(i));
}

// Presses OK; returns the text of the message box it brought up, or empty when none came.
QString PressOk(QDialog* dlg, bool expectBox) {
    QString text;
    CUiScript script;
    if (expectBox) {
        script.AnswerBox(&text);
    }
    Button(dlg, QStringLiteral("OK"))->click();
    if (expectBox && !script.WaitDone()) {
        return QStringLiteral("<no message box>");
    }
    return text;
}

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void stringTable();
    void errMsgIds_data();
    void errMsgIds();
    void unknownCodeIsLoggedOnce();
    void ipControlKeyboard_data();
    void ipControlKeyboard();
    void ipControlPasteFromItsMenu();
    void setAddrValidation_data();
    void setAddrValidation();
    void setAddrAutomaticMask_data();
    void setAddrAutomaticMask();
    void setAddrMaskFollowsOnlyTheUser();
    void setAddrTabOrder();
    void setAddrTypedOverTheDevicesAddress();
    void dialogNamesAndMnemonics();
    void subnetRangeTyped();
    void resultBoxShowsItsTitle();
    void serialDlgAcceptsAnyText();
    void subnetValidation_data();
    void subnetValidation();
    void subnetRangeIsSavedAndReadBack();
    void waitWindowClosesOnlyThroughCloseWait();
    void waitWindowClosedBeforeItRan();
    void aboutBox();
    void imageControl();
};

void TestDialogs::stringTable() {
    // Texts as the user sees them, misspellings included.
    const std::pair<int, const char*> texts[] = {
        {101, "About Scoutcam(&A)..."},
        {107, "It is not a valid host IP."},
        {108, "It is not a valid mask address."},
        {109, "It is not a valid gateway address."},
        {110, "Start address cannot be larger than end address."},
        {111, "Being Modified..."},
        {127, "The first three fields of the IP addresses should be the same."},
        {129, "Browse Korvane homepage"},
        {130, "IP address"},
        {131, "Type"},
        {132, "Serial Number"},
        {133, "Physical address"},
        {134, "Version"},
        {135, "Searching devices..."},
        {136, "Startup service  failed."},
    };
    for (const auto& t : texts) {
        QCOMPARE(LoadResString(t.first), QString::fromLatin1(t.second));
    }
    QVERIFY(LoadResString(IDS_HOMEPAGE_URL).startsWith(QLatin1String("http://www.example.com")));
    QVERIFY(!LoadResString(IDS_NO_DEVICE).isEmpty());
    QVERIFY(LoadResString(106).isEmpty());
}

// The codes' texts are the front layer's (tests/front); here: the box shows that very text.
void TestDialogs::errMsgIds_data() {
    QTest::addColumn<int>("code");
    for (const int code : {0, 10009, 11004, 11005, 10010}) {
        QTest::addRow("%d", code) << code;
    }
}

void TestDialogs::errMsgIds() {
    QFETCH(int, code);
    QString shown;
    CUiScript script;
    script.AnswerBox(&shown);
    ShowErrMsg(nullptr, code);
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown, QString::fromUtf8(GetErrMsg(code)));
}

void TestDialogs::unknownCodeIsLoggedOnce() {
    QTemporaryDir dir;
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(dir.path().toLocal8Bit().constData());
    QCOMPARE(pLog->StartLog(), 0);
    QCOMPARE(GetErrMsgId(10010), 104);
    QCOMPARE(GetErrMsgId(10009), 102);
    pLog->StopLog();
    QFile file(dir.path() + QStringLiteral("/scoutcam.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    QCOMPARE(log.count(QStringLiteral("unknown errcode(10010)")), 1);
    QVERIFY(log.contains(QStringLiteral("[WARN]")));
    QVERIFY(!log.contains(QStringLiteral("unknown errcode(10009)")));
}

void TestDialogs::ipControlKeyboard_data() {
    QTest::addColumn<QString>("start");      // address shown before typing; empty: blank
    QTest::addColumn<QString>("clipboard");  // what Ctrl+V pastes
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");  // the four fields' texts, joined by dots
    // Keys: '<' Backspace, '{' Left, '}' Right, '^' Ctrl+V; anything else is typed.
    // Typing starts in the first field with its text selected, as the dialogs open.
    const struct {
        const char* name;
        const char* start;
        const char* clipboard;
        const char* keys;
        const char* shown;
    } rows[] = {
        {"typed as written", "", "", "192.168.1.20", "192.168.1.20"},
        {"over the device's address", "198.18.0.10", "", "192.168.1.20", "192.168.1.20"},
        {"over a saved range", "0.0.0.0", "", "198.19.0.10", "198.19.0.10"},
        {"10.0.0.1", "192.168.1.20", "", "10.0.0.1", "10.0.0.1"},
        {"1.2.3.4", "", "", "1.2.3.4", "1.2.3.4"},
        {"255.255.255.0", "0.0.0.0", "", "255.255.255.0", "255.255.255.0"},
        {"0.0.0.0", "198.18.0.10", "", "0.0.0.0", "0.0.0.0"},
        {"digits without dots", "", "", "192168001020", "192.168.1.20"},
        {"three digits move on", "", "", "19216810.20", "192.168.10.20"},
        {"second dot after the move", "198.18.0.10", "", "192..5", "192.18.5.10"},
        {"blanks separate", "", "", "10 1 2 3", "10.1.2.3"},
        {"256 refused", "", "", "256", "25..."},
        {"values above 255 refused", "", "", "256.300.25.9", "25.30.25.9"},
        {"dot in a blank field stays", "", "", "10..7", "10.7.."},
        {"letters refused", "", "", "1a2.b3", "12.3.."},
        {"backspace across fields", "", "", "10.2<<5.6", "15.6.."},
        {"backspace over the automatic move", "", "", "192<<", "1..."},
        {"left and right cross fields", "", "", "1.2{{3}}4", "13.24.."},
        {"fourth field keeps its digits", "", "", "1.2.3.2555", "1.2.3.255"},
        {"pasted address", "", "172.16.5.4", "^", "172.16.5.4"},
        {"pasted over typed digits", "198.18.0.10", "172.16.5.4", "19^", "172.16.5.4"},
        {"pasted with blanks around", "", " 172.16.5.4\n", "^", "172.16.5.4"},
        {"pasted in the third field", "1.1.1.1", "172.16.5.4", "9.8.^", "172.16.5.4"},
        {"pasted out of range refused", "198.18.0.10", "172.16.5.400", "^", "198.18.0.10"},
        {"pasted digits go into the field", "", "12", "^.3", "12.3.."},
    };
    for (const auto& r : rows) {
        QTest::newRow(r.name) << QString::fromLatin1(r.start) << QString::fromLatin1(r.clipboard)
                              << QString::fromLatin1(r.keys) << QString::fromLatin1(r.shown);
    }
}

void TestDialogs::ipControlKeyboard() {
    QFETCH(QString, start);
    QFETCH(QString, clipboard);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    QWidget window;
    auto* ctrl = new CIpAddressCtrl(&window);
    ctrl->setGeometry(0, 0, 160, 24);
    if (!start.isEmpty()) {
        ctrl->SetAddress(Ip(start.toLatin1().constData()));
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::clipboard()->setText(clipboard);
    ctrl->SetFieldFocus(0);
    QSignalSpy changed(ctrl, &CIpAddressCtrl::FieldChanged);
    for (QChar c : keys) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        switch (c.toLatin1()) {
        case '<':
            QTest::keyClick(focus, Qt::Key_Backspace);
            break;
        case '{':
            QTest::keyClick(focus, Qt::Key_Left);
            break;
        case '}':
            QTest::keyClick(focus, Qt::Key_Right);
            break;
        case '^':
            QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
            break;
        default:
            QTest::keyClicks(focus, QString(c));
            break;
        }
    }
    // Leaving the control shows each field as the value it gives.
    window.setFocus();
    QStringList texts;
    for (int i = 0; i < CIpAddressCtrl::kFields; ++i) {
        texts << Field(ctrl, i)->text();
    }
    QCOMPARE(texts.join(QLatin1Char('.')), shown);
    QCOMPARE(IpText(ctrl->GetAddress()), IpText(Ip(shown.toLatin1().constData())));
    if (shown != start) {
        QVERIFY(!changed.isEmpty());
    }

    // Tab moves from one field to the next; setting an address sends no notification.
    Field(ctrl, 0)->setFocus();
    QTest::keyClick(Field(ctrl, 0), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Field(ctrl, 1));
    changed.clear();
    ctrl->SetAddress(Ip("1.2.3.4"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(IpText(ctrl->GetAddress()), QStringLiteral("1.2.3.4"));
}

void TestDialogs::ipControlPasteFromItsMenu() {
    QWidget window;
    auto* ctrl = new CIpAddressCtrl(&window);
    ctrl->setGeometry(0, 0, 160, 24);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::clipboard()->setText(QStringLiteral("10.20.30.40"));
    CUiScript script;
    script.Add([]() -> std::function<void()> {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible()) {
            return {};
        }
        return [menu]() {
            for (QAction* a : menu->actions()) {
                if (a->text().startsWith(QLatin1String("&Paste"))) {
                    a->trigger();
                }
            }
            menu->close();
        };
    });
    QLineEdit* field = Field(ctrl, 1);
    field->setFocus();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            field->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(field, &event);
    QVERIFY(script.WaitDone());
    QCOMPARE(IpText(ctrl->GetAddress()), QStringLiteral("10.20.30.40"));
}

void TestDialogs::setAddrValidation_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("message");  // empty: OK is accepted
    const QString hostIp = LoadResString(107);
    const QString maskErr = LoadResString(108);
    const QString gwErr = LoadResString(109);
    QTest::newRow("valid, no gateway") << "192.168.1.20"
                                       << "255.255.255.0"
                                       << "0.0.0.0"
                                       << "";
    QTest::newRow("valid with gateway") << "192.168.1.20"
                                        << "255.255.255.0"
                                        << "192.168.1.1"
                                        << "";
    QTest::newRow("gateway in another subnet") << "192.168.1.20"
                                               << "255.255.255.0"
                                               << "192.168.2.1" << gwErr;
    QTest::newRow("broadcast host") << "192.168.1.255"
                                    << "255.255.255.0"
                                    << "0.0.0.0" << hostIp;
    QTest::newRow("network host") << "192.168.1.0"
                                  << "255.255.255.0"
                                  << "0.0.0.0" << hostIp;
    QTest::newRow("loopback") << "127.0.0.5"
                              << "255.255.0.0"
                              << "0.0.0.0" << hostIp;
    QTest::newRow("multicast") << "224.0.0.1"
                               << "255.255.255.0"
                               << "0.0.0.0" << hostIp;
    QTest::newRow("address checked first") << "0.1.2.3"
                                           << "255.0.255.0"
                                           << "1.1.1.1" << hostIp;
    QTest::newRow("broken mask") << "10.1.2.3"
                                 << "255.0.255.0"
                                 << "0.0.0.0" << maskErr;
    QTest::newRow("mask checked before gateway") << "10.1.2.3"
                                                 << "0.255.255.255"
                                                 << "224.1.1.1" << maskErr;
    QTest::newRow("mask 0 lets any gateway pass") << "10.1.2.3"
                                                  << "0.0.0.0"
                                                  << "192.168.9.9"
                                                  << "";
    QTest::newRow("gateway not a host") << "10.1.2.3"
                                        << "255.0.0.0"
                                        << "10.0.0.255" << gwErr;
    QTest::newRow("gateway in a class A net") << "10.1.2.3"
                                              << "255.0.0.0"
                                              << "10.200.0.1"
                                              << "";
}

void TestDialogs::setAddrValidation() {
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, message);
    CSetAddrDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.IpCtrl()->SetAddress(Ip(ip.toLatin1().constData()));
    dlg.MaskCtrl()->SetAddress(Ip(mask.toLatin1().constData()));
    dlg.GatewayCtrl()->SetAddress(Ip(gateway.toLatin1().constData()));
    dlg.PasswordEdit()->setText(QStringLiteral("secret"));
    QCOMPARE(PressOk(&dlg, !message.isEmpty()), message);
    if (message.isEmpty()) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(IpText(dlg.m_ip), ip);
        QCOMPARE(IpText(dlg.m_mask), mask);
        QCOMPARE(IpText(dlg.m_gateway), gateway);
        QCOMPARE(dlg.m_password, QStringLiteral("secret"));
    } else {
        // The dialog stays open with the values as entered.
        QVERIFY(dlg.isVisible());
        QCOMPARE(IpText(dlg.IpCtrl()->GetAddress()), ip);
        QCOMPARE(IpText(dlg.MaskCtrl()->GetAddress()), mask);
    }
}

void TestDialogs::setAddrAutomaticMask_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("mask");
    QTest::newRow("10.1.2.3") << "10.1.2.3"
                              << "255.0.0.0";
    QTest::newRow("126.1.1.1") << "126.1.1.1"
                               << "255.0.0.0";
    QTest::newRow("127.0.0.5") << "127.0.0.5"
                               << "255.255.0.0";
    QTest::newRow("172.16.0.5") << "172.16.0.5"
                                << "255.255.0.0";
    QTest::newRow("191.1.1.1") << "191.1.1.1"
                               << "255.255.0.0";
    QTest::newRow("192.168.1.20") << "192.168.1.20"
                                  << "255.255.255.0";
    QTest::newRow("223.1.1.1") << "223.1.1.1"
                               << "255.255.255.0";
}

void TestDialogs::setAddrAutomaticMask() {
    QFETCH(QString, typed);
    QFETCH(QString, mask);
    CSetAddrDlg dlg;
    dlg.m_ip = Ip("1.2.3.4");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // Presetting the address from the caller leaves the mask alone.
    QCOMPARE(IpText(dlg.MaskCtrl()->GetAddress()), QStringLiteral("0.0.0.0"));
    dlg.IpCtrl()->ClearAddress();
    Field(dlg.IpCtrl(), 0)->setFocus();
    for (QChar c : typed) {
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }
    QCOMPARE(IpText(dlg.IpCtrl()->GetAddress()), typed);
    QCOMPARE(IpText(dlg.MaskCtrl()->GetAddress()), mask);
}

void TestDialogs::setAddrMaskFollowsOnlyTheUser() {
    CSetAddrDlg dlg;
    dlg.m_ip = Ip("192.168.1.20");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // A mask typed by the user stays until the address is edited again.
    dlg.MaskCtrl()->SetAddress(Ip("255.255.255.128"));
    dlg.GatewayCtrl()->SetAddress(Ip("192.168.1.1"));
    QCOMPARE(PressOk(&dlg, false), QString());
    QCOMPARE(IpText(dlg.m_mask), QStringLiteral("255.255.255.128"));

    CSetAddrDlg again;
    again.m_ip = Ip("192.168.1.20");
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    again.MaskCtrl()->SetAddress(Ip("255.255.255.128"));
    Field(again.IpCtrl(), 3)->setFocus();
    Field(again.IpCtrl(), 3)->selectAll();
    QTest::keyClicks(Field(again.IpCtrl(), 3), QStringLiteral("21"));
    QCOMPARE(IpText(again.MaskCtrl()->GetAddress()), QStringLiteral("255.255.255.0"));
    // The field being typed in keeps its text and cursor.
    QCOMPARE(Field(again.IpCtrl(), 3)->text(), QStringLiteral("21"));
}

void TestDialogs::setAddrTabOrder() {
    CSetAddrDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QList<QWidget*> expected;
    for (CIpAddressCtrl* ctrl : {dlg.IpCtrl(), dlg.MaskCtrl(), dlg.GatewayCtrl()}) {
        for (int i = 0; i < CIpAddressCtrl::kFields; ++i) {
            expected << Field(ctrl, i);
        }
    }
    expected << dlg.PasswordEdit() << Button(&dlg, QStringLiteral("OK"))
             << Button(&dlg, QStringLiteral("Cancel"));
    QList<QWidget*> chain;
    QWidget* w = Field(dlg.IpCtrl(), 0);
    while (chain.size() < expected.size()) {
        chain << w;
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&dlg) || w->focusProxy());
    }
    QCOMPARE(chain, expected);
    QCOMPARE(dlg.PasswordEdit()->echoMode(), QLineEdit::Password);
    QVERIFY(Button(&dlg, QStringLiteral("OK"))->isDefault());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Edit Network Address"));
}

void TestDialogs::setAddrTypedOverTheDevicesAddress() {
    // As the device command opens it: the device's address, the cursor in its first field.
    CSetAddrDlg dlg;
    dlg.m_ip = Ip("198.18.0.10");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    for (QChar c : QStringLiteral("192.168.1.20")) {
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(IpText(dlg.m_ip), QStringLiteral("192.168.1.20"));
    QCOMPARE(IpText(dlg.m_mask), QStringLiteral("255.255.255.0"));
    QCOMPARE(IpText(dlg.m_gateway), QStringLiteral("0.0.0.0"));
}

void TestDialogs::dialogNamesAndMnemonics() {
    CSetAddrDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    const std::pair<CIpAddressCtrl*, const char*> controls[] = {
        {dlg.IpCtrl(), "IP Address"},
        {dlg.MaskCtrl(), "Subnet Mask"},
        {dlg.GatewayCtrl(), "Default Gateway"}};
    for (const auto& c : controls) {
        QCOMPARE(c.first->accessibleName(), QString::fromLatin1(c.second));
        for (int i = 0; i < CIpAddressCtrl::kFields; ++i) {
            QCOMPARE(Field(c.first, i)->accessibleName(), QString::fromLatin1(c.second));
        }
    }
    QCOMPARE(dlg.PasswordEdit()->accessibleName(), QStringLiteral("Admin Password"));
    // Each label's letter moves to its control.
    QTest::keyClick(&dlg, Qt::Key_M, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), Field(dlg.MaskCtrl(), 0));
    QTest::keyClick(&dlg, Qt::Key_P, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), dlg.PasswordEdit());
    QTest::keyClick(&dlg, Qt::Key_G, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), Field(dlg.GatewayCtrl(), 0));
    // A button's letter clicks it (after the button's short press animation).
    QTest::keyClick(&dlg, Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));

    QSettings().remove(QStringLiteral("Settings"));
    CSubnetSectDlg range;
    range.show();
    QVERIFY(QTest::qWaitForWindowActive(&range));
    QCOMPARE(range.BeginCtrl()->accessibleName(), QStringLiteral("Start address"));
    QCOMPARE(range.EndCtrl()->accessibleName(), QStringLiteral("End address"));
    QTest::keyClick(&range, Qt::Key_O, Qt::AltModifier);
    QTRY_COMPARE(range.result(), int(QDialog::Accepted));

    CSerialDlg serial;
    serial.show();
    QVERIFY(QTest::qWaitForWindowActive(&serial));
    QCOMPARE(serial.SerialEdit()->accessibleName(), QStringLiteral("Serial Code"));
}

void TestDialogs::subnetRangeTyped() {
    // First use: both controls show 0.0.0.0 and the cursor is in the first field.
    QSettings().remove(QStringLiteral("Settings"));
    CSubnetSectDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    for (QChar c : QStringLiteral("198.19.0.10\t198.19.0.20\n")) {
        QWidget* focus = QApplication::focusWidget();
        if (c == QLatin1Char('\t')) {
            QTest::keyClick(focus, Qt::Key_Tab);
        } else if (c == QLatin1Char('\n')) {
            QTest::keyClick(focus, Qt::Key_Return);
        } else {
            QTest::keyClicks(focus, QString(c));
        }
    }
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(IpText(dlg.m_beginIp), QStringLiteral("198.19.0.10"));
    QCOMPARE(IpText(dlg.m_endIp), QStringLiteral("198.19.0.20"));
}

void TestDialogs::resultBoxShowsItsTitle() {
    const QString name = QCoreApplication::applicationName();
    for (const QString& title : {name, QStringLiteral("scoutcam-with-a-much-longer-name")}) {
        QCoreApplication::setApplicationName(title);
        int boxWidth = 0;
        int titleWidth = 0;
        CUiScript script;
        script.OnModal<QMessageBox>([&](QMessageBox* box) {
            boxWidth = box->width();
            titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            box->button(QMessageBox::Ok)->click();
        });
        ShowErrMsg(nullptr, 0);  // "Succeed": a short text
        QVERIFY(script.WaitDone());
        // Room for the title and for the window manager's icon and buttons beside it.
        QVERIFY2(
            boxWidth >= titleWidth + 100,
            qPrintable(QStringLiteral("%1 px for a %2 px title").arg(boxWidth).arg(titleWidth)));
    }
    QCoreApplication::setApplicationName(name);
}

void TestDialogs::serialDlgAcceptsAnyText() {
    for (const QString& code : {QString(), QStringLiteral("SC-4711 x")}) {
        CSerialDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Serial Code"));
        dlg.SerialEdit()->setText(code);
        QTest::keyClick(dlg.SerialEdit(), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_serialCode, code);
    }
    // Esc cancels.
    CSerialDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(dlg.SerialEdit(), Qt::Key_Escape);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
}

void TestDialogs::subnetValidation_data() {
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("message");
    const QString order = LoadResString(110);
    const QString size = LoadResString(127);
    QTest::newRow("first use") << "0.0.0.0"
                               << "0.0.0.0"
                               << "";
    QTest::newRow("257 addresses") << "192.168.1.0"
                                   << "192.168.2.0"
                                   << "";
    QTest::newRow("258 addresses") << "192.168.1.0"
                                   << "192.168.2.1" << size;
    QTest::newRow("third fields differ") << "192.168.1.200"
                                         << "192.168.2.10"
                                         << "";
    QTest::newRow("reversed") << "10.0.0.9"
                              << "10.0.0.8" << order;
    QTest::newRow("reversed and wide") << "10.9.0.0"
                                       << "10.0.0.8" << order;
    QTest::newRow("one address") << "10.0.0.8"
                                 << "10.0.0.8"
                                 << "";
    QTest::newRow("whole space") << "0.0.0.0"
                                 << "255.255.255.255" << size;
}

void TestDialogs::subnetValidation() {
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QString, message);
    QSettings().remove(QStringLiteral("Settings"));
    CSubnetSectDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Network Segment"));
    QCOMPARE(IpText(dlg.BeginCtrl()->GetAddress()), QStringLiteral("0.0.0.0"));
    dlg.BeginCtrl()->SetAddress(Ip(begin.toLatin1().constData()));
    dlg.EndCtrl()->SetAddress(Ip(end.toLatin1().constData()));
    QCOMPARE(PressOk(&dlg, !message.isEmpty()), message);
    QSettings settings;
    if (message.isEmpty()) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(IpText(dlg.m_beginIp), begin);
        QCOMPARE(IpText(dlg.m_endIp), end);
        QCOMPARE(settings.value(QStringLiteral("Settings/DiscoveryBeginIpAddr")).toUInt(),
                 dlg.m_beginIp);
        QCOMPARE(settings.value(QStringLiteral("Settings/DiscoveryEndIpAddr")).toUInt(),
                 dlg.m_endIp);
    } else {
        QVERIFY(dlg.isVisible());
        QVERIFY(!settings.contains(QStringLiteral("Settings/DiscoveryBeginIpAddr")));
    }
}

void TestDialogs::subnetRangeIsSavedAndReadBack() {
    QSettings().remove(QStringLiteral("Settings"));
    {
        CSubnetSectDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.BeginCtrl()->SetAddress(Ip("198.18.0.10"));
        dlg.EndCtrl()->SetAddress(Ip("198.18.1.9"));
        QCOMPARE(PressOk(&dlg, false), QString());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    // What a restarted program reads: the file in the user's settings folder.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/Korvane/scoutcam.conf");
    QVERIFY2(path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")), qPrintable(path));
    QSettings onDisk(path, QSettings::IniFormat);
    QCOMPARE(onDisk.value(QStringLiteral("Settings/DiscoveryBeginIpAddr")).toUInt(),
             Ip("198.18.0.10"));
    QCOMPARE(onDisk.value(QStringLiteral("Settings/DiscoveryEndIpAddr")).toUInt(),
             Ip("198.18.1.9"));

    // Cancel keeps the saved range; the next opening shows it.
    {
        CSubnetSectDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(IpText(dlg.BeginCtrl()->GetAddress()), QStringLiteral("198.18.0.10"));
        QCOMPARE(IpText(dlg.EndCtrl()->GetAddress()), QStringLiteral("198.18.1.9"));
        dlg.BeginCtrl()->SetAddress(Ip("1.1.1.1"));
        Button(&dlg, QStringLiteral("Cancel"))->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    CSubnetSectDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(IpText(dlg.BeginCtrl()->GetAddress()), QStringLiteral("198.18.0.10"));
}

void TestDialogs::waitWindowClosesOnlyThroughCloseWait() {
    QWidget owner;
    owner.show();
    ShowWait(&owner, QStringLiteral("Searching devices..."));
    QPointer<CWaitDlg> wait = CurrentWait();
    QVERIFY(wait);
    QVERIFY(QTest::qWaitForWindowExposed(wait));
    QCOMPARE(wait->Text(), QStringLiteral("Searching devices..."));
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(wait.data()));
    QVERIFY(wait->windowFlags() & Qt::FramelessWindowHint);

    QTest::keyClick(wait, Qt::Key_Return);
    QTest::keyClick(wait, Qt::Key_Enter);
    QTest::keyClick(wait, Qt::Key_Escape);
    wait->close();
    QTest::qWait(50);
    QVERIFY(wait && wait->isVisible());

    CloseWait();
    QVERIFY(QTest::qWaitFor([&wait]() { return wait.isNull(); }, 2000));
    QVERIFY(CurrentWait() == nullptr);
    // A second CloseWait, or one without a wait window, touches nothing.
    CloseWait();

    ShowWait(&owner, QString());
    QVERIFY(CurrentWait());
    QCOMPARE(CurrentWait()->Text(), QString());
    CloseWait();
}

void TestDialogs::waitWindowClosedBeforeItRan() {
    ShowWait(nullptr, QStringLiteral("Being Modified..."));
    QPointer<CWaitDlg> wait = CurrentWait();
    CloseWait();
    QVERIFY(!wait || !wait->isVisible());
    QVERIFY(QTest::qWaitFor([&wait]() { return wait.isNull(); }, 2000));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestDialogs::aboutBox() {
    CAboutDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("About Scoutcam"));
    QCOMPARE(dlg.VersionLabel()->text(), QStringLiteral("1.0.2(D001SP02)"));
    QVERIFY(dlg.BuildLabel()->text().isEmpty());
    QTest::mouseClick(dlg.VersionLabel(), Qt::LeftButton);
    QVERIFY(dlg.BuildLabel()->text().isEmpty());
    QTest::mouseDClick(dlg.VersionLabel(), Qt::LeftButton);
    QVERIFY(dlg.BuildLabel()->isVisible());
    QCOMPARE(dlg.BuildLabel()->text(), BuildStamp());
    // "Built on Jun  5 2014 10:34:35": the day is padded with a blank.
    QRegularExpression stamp(
        QStringLiteral("^Built on [A-Z][a-z]{2} [ 123][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    QVERIFY2(stamp.match(BuildStamp()).hasMatch(), qPrintable(BuildStamp()));
    bool linkFound = false;
    for (QPushButton* b : dlg.findChildren<QPushButton*>()) {
        linkFound = linkFound || b->toolTip() == QStringLiteral("Browse Korvane homepage");
    }
    QVERIFY(linkFound);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
}

void TestDialogs::imageControl() {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/pixels.png");
    QImage source(3, 2, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 255, 255, 128));  // half-transparent white
    source.setPixel(1, 0, qRgba(0, 0, 0, 0));          // fully transparent
    source.setPixel(2, 0, qRgba(1, 1, 1, 128));        // truncation, not rounding
    source.setPixel(0, 1, qRgba(200, 100, 50, 77));
    source.setPixel(1, 1, qRgba(10, 20, 30, 255));
    source.setPixel(2, 1, qRgba(0, 0, 255, 255));
    QVERIFY(source.save(path, "PNG"));

    QWidget back;
    back.setAutoFillBackground(true);
    QPalette pal = back.palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 0));
    back.setPalette(pal);
    back.resize(10, 10);
    auto* image = new CImageStatic(&back);
    image->setGeometry(0, 0, 2, 1);  // smaller than the image: clipped
    QVERIFY(!image->LoadPNG(dir.path() + QStringLiteral("/missing.png")));
    QVERIFY(!image->IsLoaded());
    QVERIFY(image->LoadPNG(path));
    QCOMPARE(image->Image().format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(image->Image().pixel(0, 0), qRgba(128, 128, 128, 128));
    QCOMPARE(image->Image().pixel(2, 0), qRgba(0, 0, 0, 128));
    QCOMPARE(image->Image().pixel(0, 1), qRgba(60, 30, 15, 77));
    QCOMPARE(image->Image().pixel(1, 1), qRgba(10, 20, 30, 255));

    QImage shot = back.grab().toImage();
    QCOMPARE(QColor(shot.pixel(0, 0)), QColor(255, 128, 128));  // white at half over red
    QCOMPARE(QColor(shot.pixel(1, 0)), QColor(255, 0, 0));      // transparent: background
    QCOMPARE(QColor(shot.pixel(2, 0)), QColor(255, 0, 0));      // outside the control
    QCOMPARE(QColor(shot.pixel(0, 1)), QColor(255, 0, 0));

    // A larger control shows the image once, at its top-left corner.
    image->setGeometry(0, 0, 6, 4);
    shot = back.grab().toImage();
    QCOMPARE(QColor(shot.pixel(2, 1)), QColor(0, 0, 255));
    QCOMPARE(QColor(shot.pixel(3, 1)), QColor(255, 0, 0));
    QCOMPARE(QColor(shot.pixel(0, 2)), QColor(255, 0, 0));

    // The program's own logo: 79 x 20 with transparency.
    CImageStatic logo;
    QVERIFY(logo.LoadPNG(QStringLiteral(":/res/logo.png")));
    QCOMPARE(logo.Image().size(), QSize(79, 20));
    QVERIFY(logo.Image().hasAlphaChannel());
    QCOMPARE(qAlpha(logo.Image().pixel(78, 0)), 0);
}

SCOUTCAM_TEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
