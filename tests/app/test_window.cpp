// The main window against a client that sends nothing: searches, the list, its sorting and
// colours, the context menu and the two device commands.

#include "AboutDlg.h"
#include "ErrMsg.h"
#include "ListCtrlEx.h"
#include "ScoutcamDlg.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "IpAddressCtrl.h"
#include "common/common_util.h"
#include "fake_client.h"
#include "freed_memory.h"
#include "ui_script.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <arpa/inet.h>

namespace {

CDiscoveryBean Device(const char* ip, const char* type, const char* serial, const char* mac,
                      const char* version = "V1.0", int foreign = 0) {
    CDiscoveryBean b;
    b.m_ipAddr = ip;
    b.m_hardware = type;
    b.m_serialNo = serial;
    b.m_macAddr = mac;
    b.m_version = version;
    b.m_foreign = foreign;
    return b;
}

uint32_t Host(const char* ip) {
    return ntohl(inet_addr(ip));
}

QString Cell(CScoutcamDlg& dlg, int row, int column) {
    QTableWidgetItem* item = dlg.List()->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

QStringList Column(CScoutcamDlg& dlg, int column) {
    QStringList cells;
    for (int row = 0; row < dlg.List()->rowCount(); ++row) {
        cells << Cell(dlg, row, column);
    }
    return cells;
}

QString CountText(CScoutcamDlg& dlg) {
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->text() != QStringLiteral("Total:") && label->geometry().left() > 40 &&
            label->geometry().top() > dlg.height() / 2) {
            return label->text();
        }
    }
    return QString();
}

// Catches the URLs that the window hands to the browser.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsEmptyAndSendsNothing();
    void autoSearchListsEachDeviceOnce();
    void nothingFoundIsTold();
    void sortingByTextAndRowColours();
    void exactSearchShowsOnlyItsRange();
    void exactSearchOfOneAddressAndCancel();
    void contextMenuOnRowsOnly();
    void menuKeysOpenTheSelectedRowsMenu();
    void browseWithoutBrowserSaysSo();
    void keyboardOrderAndNames();
    void newSearchPutsTheSortMarkBack();
    void burstIsCountedWhenTheWindowEnds();
    void editAddressAfterAutoSearch();
    void editAddressRefusedOrCancelled();
    void commandsAfterExactSearchGoToTheDevice();
    void passwordTooLongForTheScramblerIsNotSent();
    void secretsLeaveNoCopyInReleasedMemory();
    void aboutBoxFromTheWindowMenu();
    void quitClosesTheWindow();

private:
    // Runs an Auto Search in which the client answers with the records; Enter in the list
    // starts it when byEnter is set, else the button.
    void AutoSearch(const std::vector<CDiscoveryBean>& records, bool byEnter = false);
    // The menu key on the list, as Qt sends it for a real key press.
    void MenuKey();
    // Right-clicks the row (or the point below the last row for -1); when item is given, the
    // menu step comes first in the script, else the test has queued it.
    void RightClick(int row, const QString& item, QStringList* pItems = nullptr);

    CFakeClient* m_client = nullptr;
    CScoutcamDlg* m_dlg = nullptr;
    CUiScript* m_script = nullptr;
};

void TestWindow::init() {
    m_client = new CFakeClient;
    m_dlg = new CScoutcamDlg(m_client);
    m_script = new CUiScript;
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
}

void TestWindow::cleanup() {
    delete m_script;
    delete m_dlg;
    delete m_client;
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestWindow::AutoSearch(const std::vector<CDiscoveryBean>& records, bool byEnter) {
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    if (byEnter) {
        m_dlg->List()->setFocus();
        QTest::keyClick(m_dlg->List(), Qt::Key_Return);
    } else {
        Button(m_dlg, QStringLiteral("Auto Search"))->click();
    }
    QVERIFY(m_client->Attached());
    QVERIFY(CurrentWait());
    QCOMPARE(CurrentWait()->Text(), QStringLiteral("Searching devices..."));
    m_client->Deliver(records);
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 3000));
    QVERIFY(!m_client->Attached());
    QVERIFY(CurrentWait() == nullptr);
}

void TestWindow::RightClick(int row, const QString& item, QStringList* pItems) {
    CListCtrlEx* list = m_dlg->List();
    QPoint pos;
    if (row >= 0) {
        pos = list->visualItemRect(list->item(row, 1)).center();
    } else {
        pos = QPoint(20, list->viewport()->height() - 5);
    }
    if (row >= 0 && !item.isEmpty()) {
        m_script->ChooseMenu(item, pItems);
    }
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
}

void TestWindow::MenuKey() {
    CListCtrlEx* list = m_dlg->List();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            list->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list, &event);
}

void TestWindow::startsEmptyAndSendsNothing() {
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Scoutcam"));
    QCOMPARE(m_dlg->List()->rowCount(), 0);
    QCOMPARE(CountText(*m_dlg), QStringLiteral("0"));
    QVERIFY(m_client->Searches().empty());
    QVERIFY(!m_client->Attached());
    QStringList titles;
    for (int c = 0; c < 6; ++c) {
        titles << m_dlg->List()->horizontalHeaderItem(c)->text();
    }
    QCOMPARE(titles, (QStringList{"", "IP address", "Type", "Serial Number", "Physical address",
                                  "Version"}));
    QVERIFY(m_dlg->List()->isColumnHidden(0));
    QCOMPARE(m_dlg->List()->columnWidth(1), 120);
    QCOMPARE(m_dlg->List()->columnWidth(3), 200);
    QVERIFY(Button(m_dlg, QStringLiteral("Auto Search"))->isDefault());
    QVERIFY(Button(m_dlg, QStringLiteral("Exact Search...")));
    QVERIFY(Button(m_dlg, QStringLiteral("Quit")));
    // The last column fills the list.
    CListCtrlEx* list = m_dlg->List();
    QHeaderView* header = list->horizontalHeader();
    QCOMPARE(header->sectionViewportPosition(5) + header->sectionSize(5),
             list->viewport()->width());
}

void TestWindow::autoSearchListsEachDeviceOnce() {
    const CDiscoveryBean a = Device("198.18.0.10", "IPC-A", "SN-A", "0012abcdef01");
    CDiscoveryBean aForeign = a;
    aForeign.m_foreign = 1;
    const CDiscoveryBean b = Device("198.18.0.11", "IPC-B", "SN-B", "abc");
    CDiscoveryBean aVersion = a;
    aVersion.m_version = "V2.0";
    AutoSearch({a, a, b, aForeign, b, aVersion, a});
    QCOMPARE(m_client->Searches().size(), size_t(1));
    QCOMPARE(m_client->Searches()[0].first, 0u);
    // A differing field makes a row of its own, even at the same address.
    QCOMPARE(m_dlg->List()->rowCount(), 4);
    QCOMPARE(m_dlg->Total(), 4);
    QCOMPARE(CountText(*m_dlg), QStringLiteral("4"));
    QCOMPARE(Column(*m_dlg, 1),
             (QStringList{"198.18.0.10", "198.18.0.11", "198.18.0.10", "198.18.0.10"}));
    QCOMPARE(Column(*m_dlg, 2), (QStringList{"IPC-A", "IPC-B", "IPC-A", "IPC-A"}));
    QCOMPARE(Column(*m_dlg, 3), (QStringList{"SN-A", "SN-B", "SN-A", "SN-A"}));
    QCOMPARE(Column(*m_dlg, 4),
             (QStringList{"00-12-AB-CD-EF-01", "AB-C", "00-12-AB-CD-EF-01", "00-12-AB-CD-EF-01"}));
    QCOMPARE(Column(*m_dlg, 5), (QStringList{"V1.0", "V1.0", "V1.0", "V2.0"}));
    CDiscoveryBean stored;
    m_dlg->GetRecordOfRow(2, stored);
    QVERIFY(stored == aForeign);

    // Records after the search window are not shown.
    m_client->Deliver({Device("198.18.0.99", "IPC-Z", "SN-Z", "ff")});
    QTest::qWait(100);
    QCOMPARE(m_dlg->List()->rowCount(), 4);
}

void TestWindow::nothingFoundIsTold() {
    AutoSearch({Device("198.18.0.10", "IPC-A", "SN-A", "01")});
    QCOMPARE(m_dlg->List()->rowCount(), 1);
    // A new search empties the list first, also when it finds nothing. Enter starts it.
    QString text;
    m_script->AnswerBox(&text);
    AutoSearch({}, true);
    QVERIFY(m_script->WaitDone());
    QCOMPARE(text, LoadResString(IDS_NO_DEVICE));
    QCOMPARE(m_dlg->List()->rowCount(), 0);
    QCOMPARE(CountText(*m_dlg), QStringLiteral("0"));
}

void TestWindow::sortingByTextAndRowColours() {
    AutoSearch({Device("192.168.1.9", "b", "S9", "09"), Device("192.168.1.10", "B", "S10", "10"),
                Device("10.0.0.1", "a", "S1", "01")});
    CListCtrlEx* list = m_dlg->List();
    QHeaderView* header = list->horizontalHeader();
    auto clickHeader = [header](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    auto rowColours = [list]() {
        list->clearSelection();
        list->setCurrentItem(nullptr);
        QImage shot = list->viewport()->grab().toImage();
        QList<QColor> colours;
        for (int row = 0; row < list->rowCount(); ++row) {
            QRect cell = list->visualItemRect(list->item(row, 5));
            colours << QColor(shot.pixel(cell.right() - 3, cell.center().y()));
        }
        return colours;
    };
    const QList<QColor> alternating{QColor(248, 252, 255), QColor(234, 238, 241),
                                    QColor(248, 252, 255)};
    QCOMPARE(rowColours(), alternating);

    clickHeader(1);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"10.0.0.1", "192.168.1.10", "192.168.1.9"}));
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(rowColours(), alternating);
    // The record behind each row moved with it.
    CDiscoveryBean record;
    m_dlg->GetRecordOfRow(1, record);
    QCOMPARE(QString::fromStdString(record.m_serialNo), QStringLiteral("S10"));

    clickHeader(1);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"192.168.1.9", "192.168.1.10", "10.0.0.1"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(rowColours(), alternating);
    clickHeader(1);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"10.0.0.1", "192.168.1.10", "192.168.1.9"}));

    // Case-sensitive, by code units: "B" before "a" before "b".
    clickHeader(2);
    QCOMPARE(Column(*m_dlg, 2), (QStringList{"B", "a", "b"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // Rows 0 and 2 of the insertion order are now neighbours; colours still go by index.
    QCOMPARE(rowColours(), alternating);
    m_dlg->GetRecordOfRow(0, record);
    QCOMPARE(QString::fromStdString(record.m_serialNo), QStringLiteral("S10"));
    QCOMPARE(QString::fromStdString(record.m_macAddr), QStringLiteral("10"));
}

void TestWindow::exactSearchShowsOnlyItsRange() {
    m_script->OnModal<CSubnetSectDlg>([](CSubnetSectDlg* dlg) {
        dlg->BeginCtrl()->SetAddress(Host("198.18.0.10"));
        dlg->EndCtrl()->SetAddress(Host("198.18.0.20"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    Button(m_dlg, QStringLiteral("Exact Search..."))->click();
    QVERIFY(m_script->WaitDone());
    QCOMPARE(m_dlg->SearchModeValue(), int(CScoutcamDlg::SEARCH_EXACT));
    QCOMPARE(m_client->ExactCalls(), 1);
    QCOMPARE(m_client->Searches().back(), std::make_pair(Host("198.18.0.10"), Host("198.18.0.20")));
    m_client->Deliver(
        {Device("198.18.0.9", "t", "below", "1"), Device("198.18.0.10", "t", "first", "2"),
         Device("198.18.0.20", "t", "last", "3"), Device("198.18.0.21", "t", "above", "4"),
         Device("not-an-ip", "t", "text", "5"), Device("10.0.0.15", "t", "other", "6"),
         Device("198.18.0.15", "t", "inside", "7")});
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 3000));
    QCOMPARE(Column(*m_dlg, 3), (QStringList{"first", "last", "inside"}));
    QCOMPARE(CountText(*m_dlg), QStringLiteral("3"));
}

void TestWindow::exactSearchOfOneAddressAndCancel() {
    m_script->OnModal<CSubnetSectDlg>([](CSubnetSectDlg* dlg) {
        dlg->BeginCtrl()->SetAddress(Host("198.19.0.7"));
        dlg->EndCtrl()->SetAddress(Host("198.19.0.7"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    Button(m_dlg, QStringLiteral("Exact Search..."))->click();
    QVERIFY(m_script->WaitDone());
    QCOMPARE(m_client->ExactCalls(), 0);
    QCOMPARE(m_client->Searches().back(), std::make_pair(Host("198.19.0.7"), Host("198.19.0.7")));
    m_client->Deliver({Device("198.19.0.7", "t", "one", "1")});
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 3000));
    QCOMPARE(m_dlg->List()->rowCount(), 1);

    // Cancelling the range dialog keeps rows, mode and range.
    m_script->OnModal<CSubnetSectDlg>([](CSubnetSectDlg* dlg) {
        dlg->BeginCtrl()->SetAddress(Host("10.0.0.1"));
        Button(dlg, QStringLiteral("Cancel"))->click();
    });
    Button(m_dlg, QStringLiteral("Exact Search..."))->click();
    QVERIFY(m_script->WaitDone());
    QCOMPARE(m_client->Searches().size(), size_t(1));
    QCOMPARE(m_dlg->List()->rowCount(), 1);
    QCOMPARE(m_dlg->SearchModeValue(), int(CScoutcamDlg::SEARCH_EXACT));
    QVERIFY(CurrentWait() == nullptr);
}

void TestWindow::contextMenuOnRowsOnly() {
    AutoSearch(
        {Device("198.18.0.10", "IPC", "SN-1", "01"), Device("198.18.0.11", "IPC", "SN-2", "02")});
    CUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");

    // Below the last row: no menu.
    RightClick(-1, QString());
    QCOMPARE(m_dlg->SelectedRow(), -1);
    QVERIFY(QApplication::activePopupWidget() == nullptr);

    QStringList items;
    RightClick(1, QStringLiteral("Browse Web Page"), &items);
    QVERIFY(m_script->WaitDone());
    QCOMPARE(items,
             (QStringList{"Edit Network Address", "Restore Device Password", "Browse Web Page"}));
    QCOMPARE(m_dlg->SelectedRow(), 1);
    QTRY_COMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].toString(), QStringLiteral("http://198.18.0.11"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QVERIFY(m_client->Requests().empty());
}

void TestWindow::menuKeysOpenTheSelectedRowsMenu() {
    AutoSearch({Device("198.18.0.10", "IPC", "SN-1", "01"),
                Device("198.18.0.11", "IPC", "SN-2", "02"),
                Device("198.18.0.12", "IPC", "SN-3", "03")});
    CListCtrlEx* list = m_dlg->List();
    CUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");

    // Without a selected row the menu key opens the window's menu, which has the about box.
    list->clearSelection();
    QStringList items;
    m_script->ChooseMenu(QString(), &items);
    MenuKey();
    QVERIFY(m_script->WaitDone());
    QCOMPARE(items, QStringList{"About Scoutcam(&A)..."});

    // The menu key on a selected row: that row's device menu.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1, 1)).center());
    items.clear();
    m_script->ChooseMenu(QStringLiteral("Browse Web Page"), &items);
    MenuKey();
    QVERIFY(m_script->WaitDone());
    QCOMPARE(items,
             (QStringList{"Edit Network Address", "Restore Device Password", "Browse Web Page"}));
    QCOMPARE(m_dlg->SelectedRow(), 1);
    QTRY_COMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].toString(), QStringLiteral("http://198.18.0.11"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    // Shift+F10 does the same; the arrow keys choose the row.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QString presetIp;
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>([&presetIp](CSetAddrDlg* dlg) {
        presetIp = QString::number(dlg->IpCtrl()->GetAddress());
        Button(dlg, QStringLiteral("Cancel"))->click();
    });
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(m_script->WaitDone());
    QCOMPARE(m_dlg->SelectedRow(), 2);
    QCOMPARE(presetIp, QString::number(Host("198.18.0.12")));
    QVERIFY(m_client->Requests().empty());
}

void TestWindow::browseWithoutBrowserSaysSo() {
    // The offscreen platform starts no browser, and no handler is set.
    AutoSearch(
        {Device("198.18.0.10", "IPC", "SN-1", "01"), Device("198.18.0.11", "IPC", "SN-2", "02")});
    QString text;
    m_script->ChooseMenu(QStringLiteral("Browse Web Page"));
    m_script->AnswerBox(&text);
    RightClick(1, QString());
    QVERIFY(m_script->WaitDone());
    QCOMPARE(text, QStringLiteral("Cannot start a browser for http://198.18.0.11."));
}

void TestWindow::keyboardOrderAndNames() {
    AutoSearch(
        {Device("198.18.0.10", "IPC", "SN-1", "01"), Device("198.18.0.11", "IPC", "SN-2", "02")});
    CListCtrlEx* list = m_dlg->List();
    QPushButton* autoButton = Button(m_dlg, QStringLiteral("Auto Search"));
    QPushButton* exactButton = Button(m_dlg, QStringLiteral("Exact Search..."));
    QPushButton* quitButton = Button(m_dlg, QStringLiteral("Quit"));
    // The list is one stop, however many rows it has; Shift+Tab goes back.
    m_dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dlg));
    list->setFocus();
    const QList<QWidget*> order{autoButton, exactButton, quitButton, list};
    for (QWidget* expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    QTest::keyClick(list, Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), quitButton);
    // The arrow keys move within the list.
    list->setFocus();
    list->setCurrentCell(0, 1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));

    QCOMPARE(list->accessibleName(), QStringLiteral("Device list"));
    QCOMPARE(autoButton->text(), QStringLiteral("&Auto Search"));
    QCOMPARE(exactButton->text(), QStringLiteral("&Exact Search..."));
    QCOMPARE(quitButton->text(), QStringLiteral("&Quit"));
    // Alt+E opens the range dialog.
    m_script->OnModal<CSubnetSectDlg>(
        [](CSubnetSectDlg* dlg) { Button(dlg, QStringLiteral("Cancel"))->click(); });
    QTest::keyClick(list, Qt::Key_E, Qt::AltModifier);
    QVERIFY(m_script->WaitDone());
}

void TestWindow::newSearchPutsTheSortMarkBack() {
    const std::vector<CDiscoveryBean> fleet{Device("198.18.0.9", "b", "S9", "9"),
                                            Device("198.18.0.10", "a", "S10", "10")};
    AutoSearch(fleet);
    QHeaderView* header = m_dlg->List()->horizontalHeader();
    emit header->sectionClicked(1);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"198.18.0.10", "198.18.0.9"}));
    QCOMPARE(header->sortIndicatorSection(), 1);
    // New rows come in the order of arrival; no mark claims another order.
    AutoSearch(fleet);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"198.18.0.9", "198.18.0.10"}));
    QCOMPARE(header->sortIndicatorSection(), 0);
    QVERIFY(m_dlg->List()->isColumnHidden(0));
    // The next click on the address column sorts ascending again.
    emit header->sectionClicked(1);
    QCOMPARE(Column(*m_dlg, 1), (QStringList{"198.18.0.10", "198.18.0.9"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

void TestWindow::burstIsCountedWhenTheWindowEnds() {
    // Thousands of devices answer twice at once, and the search window ends right after:
    // every record queued before the end is listed and counted when the wait window closes.
    const int devices = 5000;
    std::vector<CDiscoveryBean> records;
    for (int i = 0; i < devices; ++i) {
        const std::string n = std::to_string(i);
        const CDiscoveryBean device =
            Device(("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)).c_str(),
                   "IPC", ("SN-" + n).c_str(), n.c_str());
        records.push_back(device);
        records.push_back(device);
    }
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    QString countAtClose;
    QStringList serials;
    Button(m_dlg, QStringLiteral("Auto Search"))->click();
    connect(CurrentWait(), &QObject::destroyed, m_dlg,
            [this, &countAtClose]() { countAtClose = CountText(*m_dlg); });
    m_client->Deliver(records);  // all queued before the window handles any of them
    m_dlg->findChild<QTimer*>(QStringLiteral("searchTimer"))->start(0);
    QVERIFY(finished.wait(5000));
    QCOMPARE(m_dlg->List()->rowCount(), devices);
    QCOMPARE(m_dlg->Total(), devices);
    QCOMPARE(CountText(*m_dlg), QString::number(devices));
    // In the order of arrival, each row with its own record behind it.
    for (int row = 0; row < devices; row += 997) {
        QCOMPARE(Cell(*m_dlg, row, 3), QStringLiteral("SN-%1").arg(row));
        CDiscoveryBean record;
        m_dlg->GetRecordOfRow(row, record);
        QVERIFY(record == records[2 * row]);
    }
    QTRY_COMPARE(countAtClose, QString::number(devices));
}

void TestWindow::editAddressAfterAutoSearch() {
    const CDiscoveryBean device = Device("198.18.0.10", "IPC-A", "SN-A", "0012abcdef01", "V7", 1);
    AutoSearch({device});
    m_client->Hold();
    QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
    QString presetIp;
    QString result;
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>([&presetIp](CSetAddrDlg* dlg) {
        presetIp = QString::number(dlg->IpCtrl()->GetAddress());
        QLineEdit* field = dlg->IpCtrl()->findChild<QLineEdit*>(QStringLiteral("field3"));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("50"));  // 198.18.0.50; the mask follows
        dlg->GatewayCtrl()->SetAddress(Host("198.18.0.1"));
        dlg->PasswordEdit()->setText(QStringLiteral("pw"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(0, QString());
    QVERIFY(QTest::qWaitFor([this]() { return m_client->RequestWaiting(); }, 5000));
    QCOMPARE(presetIp, QString::number(Host("198.18.0.10")));
    // While the device is asked, the wait window is up and blocks the main window.
    QVERIFY(CurrentWait());
    QCOMPARE(CurrentWait()->Text(), QStringLiteral("Being Modified..."));
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(CurrentWait()));
    QVERIFY(m_dlg->IsCommandRunning());
    m_client->Release();
    QVERIFY(done.wait(5000));
    QVERIFY(m_script->WaitDone());
    QCOMPARE(result, QStringLiteral("Succeed"));
    QCOMPARE(done[0][0].toInt(), 0);

    auto requests = m_client->Requests();
    QCOMPARE(requests.size(), size_t(1));
    const CFakeClient::Request& r = requests[0];
    QCOMPARE(r.kind, 1);
    QCOMPARE(r.target, 0u);
    QCOMPARE(QString::fromStdString(r.userName), QStringLiteral("admin"));
    CSecretText cipher;
    QCOMPARE(Text2CipherString(CSecretText("pw"), cipher), 0);
    QVERIFY(r.authCode == cipher.View());
    QCOMPARE(QString::fromStdString(r.device.m_serialNo), QStringLiteral("SN-A"));
    QCOMPARE(QString::fromStdString(r.device.m_deviceId), QStringLiteral("0012abcdef01"));
    QCOMPARE(QString::fromStdString(r.newAddr.m_ipAddr), QStringLiteral("198.18.0.50"));
    QCOMPARE(QString::fromStdString(r.newAddr.m_mask), QStringLiteral("255.255.255.0"));
    QCOMPARE(QString::fromStdString(r.newAddr.m_gateway), QStringLiteral("198.18.0.1"));

    // The row shows the new address; its other cells and the stored record stay.
    QCOMPARE(Cell(*m_dlg, 0, 1), QStringLiteral("198.18.0.50"));
    QCOMPARE(Cell(*m_dlg, 0, 4), QStringLiteral("00-12-AB-CD-EF-01"));
    QCOMPARE(Cell(*m_dlg, 0, 5), QStringLiteral("V7"));
    CDiscoveryBean record;
    m_dlg->GetRecordOfRow(0, record);
    QCOMPARE(QString::fromStdString(record.m_ipAddr), QStringLiteral("198.18.0.50"));
    QCOMPARE(record.m_foreign, 1);
    QVERIFY(!m_dlg->IsCommandRunning());
    QVERIFY(CurrentWait() == nullptr);
}

void TestWindow::editAddressRefusedOrCancelled() {
    AutoSearch({Device("198.18.0.10", "IPC-A", "SN-A", "01")});
    // Cancel sends nothing and shows nothing.
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>(
        [](CSetAddrDlg* dlg) { Button(dlg, QStringLiteral("Cancel"))->click(); });
    RightClick(0, QString());
    QVERIFY(m_script->WaitDone());
    m_script->ChooseMenu(QStringLiteral("Restore Device Password"));
    m_script->OnModal<CSerialDlg>(
        [](CSerialDlg* dlg) { Button(dlg, QStringLiteral("Cancel"))->click(); });
    RightClick(0, QString());
    QVERIFY(m_script->WaitDone());
    QTest::qWait(50);
    QVERIFY(m_client->Requests().empty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    // A refusal is shown with its text; the row stays as it was.
    const std::pair<int, const char*> outcomes[] = {
        {11005, "Device IP conflict."}, {11004, "Device password error."}, {10009, "Timeout"}};
    for (const auto& outcome : outcomes) {
        m_client->SetResult(outcome.first);
        QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
        QString result;
        m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
        m_script->OnModal<CSetAddrDlg>([](CSetAddrDlg* dlg) {
            dlg->IpCtrl()->SetAddress(Host("198.18.0.77"));
            dlg->MaskCtrl()->SetAddress(Host("255.255.0.0"));
            Button(dlg, QStringLiteral("OK"))->click();
        });
        m_script->AnswerBox(&result);
        RightClick(0, QString());
        QVERIFY(done.wait(5000));
        QVERIFY(m_script->WaitDone());
        QCOMPARE(result, QString::fromLatin1(outcome.second));
        QCOMPARE(Cell(*m_dlg, 0, 1), QStringLiteral("198.18.0.10"));
    }
    QCOMPARE(m_client->Requests().size(), size_t(3));
}

void TestWindow::commandsAfterExactSearchGoToTheDevice() {
    m_script->OnModal<CSubnetSectDlg>([](CSubnetSectDlg* dlg) {
        dlg->BeginCtrl()->SetAddress(Host("198.19.0.1"));
        dlg->EndCtrl()->SetAddress(Host("198.19.0.50"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    QSignalSpy finished(m_dlg, &CScoutcamDlg::SearchFinished);
    Button(m_dlg, QStringLiteral("Exact Search..."))->click();
    QVERIFY(m_script->WaitDone());
    m_client->Deliver({Device("198.19.0.20", "IPC", "SN-X", "a1b2")});
    QVERIFY(finished.wait(CScoutcamDlg::kSearchWindowMs + 3000));

    m_client->SetResult(11003);
    QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
    QString result;
    m_script->ChooseMenu(QStringLiteral("Restore Device Password"));
    m_script->OnModal<CSerialDlg>([](CSerialDlg* dlg) {
        dlg->SerialEdit()->setText(QStringLiteral("SC-1"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(0, QString());
    QVERIFY(done.wait(5000));
    QVERIFY(m_script->WaitDone());
    QCOMPARE(result, QStringLiteral("Device serial code is invalid."));

    m_client->SetResult(0);
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>([](CSetAddrDlg* dlg) {
        dlg->MaskCtrl()->SetAddress(Host("255.255.0.0"));
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(0, QString());
    QVERIFY(done.wait(5000));
    QVERIFY(m_script->WaitDone());
    QCOMPARE(result, QStringLiteral("Succeed"));

    auto requests = m_client->Requests();
    QCOMPARE(requests.size(), size_t(2));
    QCOMPARE(requests[0].kind, 2);
    QCOMPARE(requests[0].target, Host("198.19.0.20"));
    QCOMPARE(QString::fromStdString(requests[0].serialCode), QStringLiteral("SC-1"));
    QCOMPARE(QString::fromStdString(requests[0].device.m_deviceId), QStringLiteral("a1b2"));
    QCOMPARE(requests[1].kind, 1);
    QCOMPARE(requests[1].target, Host("198.19.0.20"));
    QCOMPARE(QString::fromStdString(requests[1].newAddr.m_ipAddr), QStringLiteral("198.19.0.20"));
    QCOMPARE(QString::fromStdString(requests[1].newAddr.m_gateway), QStringLiteral("0.0.0.0"));
    // The password restore leaves the list as it was.
    QCOMPARE(m_dlg->List()->rowCount(), 1);
}

void TestWindow::passwordTooLongForTheScramblerIsNotSent() {
    AutoSearch({Device("198.18.0.10", "IPC-A", "SN-A", "01")});
    // 64 characters of two bytes each in UTF-8: 128 bytes, one more than the scrambler takes.
    const QString password(64, QChar(0x00E9));
    QString result;
    m_script->ChooseMenu(QStringLiteral("Edit Network Address"));
    m_script->OnModal<CSetAddrDlg>([&password](CSetAddrDlg* dlg) {
        dlg->MaskCtrl()->SetAddress(Host("255.255.0.0"));
        dlg->PasswordEdit()->setText(password);
        Button(dlg, QStringLiteral("OK"))->click();
    });
    m_script->AnswerBox(&result);
    RightClick(0, QString());
    QVERIFY(m_script->WaitDone());
    QCOMPARE(result, QStringLiteral("Invalid parameter"));
    QVERIFY(m_client->Requests().empty());
    QVERIFY(CurrentWait() == nullptr);
    QVERIFY(!m_dlg->IsCommandRunning());
}

// Both commands empty the edit the secret was typed into, and what they give back to the heap
// holds nothing of the password, its scrambled form or the serial code. (Qt keeps text in
// memory of malloc, which the watch does not see.)
void TestWindow::secretsLeaveNoCopyInReleasedMemory() {
    AutoSearch({Device("198.18.0.10", "IPC-A", "SN-A", "0012abcdef01")});
    const QString password = QStringLiteral("a password long enough for the heap, 49 bytes");
    const QString serialCode = QStringLiteral("SERIAL-CODE-0123456789-ABCDEFGHIJ");
    CSecretText cipher;
    QCOMPARE(Text2CipherString(CSecretText(password.toStdString()), cipher), 0);
    const std::string plain = password.toStdString();
    const std::string code = serialCode.toStdString();
    std::vector<std::string> pieces = {plain.substr(0, 8),
                                       plain.substr(plain.size() - 8),
                                       std::string(cipher.View().substr(0, 8)),
                                       std::string(cipher.View().substr(cipher.Size() - 8)),
                                       code.substr(0, 8),
                                       code.substr(code.size() - 8)};
    const struct {
        const char* item;
        QString typed;
    } commands[] = {{"Edit Network Address", password}, {"Restore Device Password", serialCode}};
    for (const auto& command : commands) {
        bool emptied = false;
        int hits = 0;
        {
            CFreedMemoryWatch watch(pieces);
            QSignalSpy done(m_dlg, &CScoutcamDlg::CommandFinished);
            QString result;
            m_script->ChooseMenu(QString::fromLatin1(command.item));
            auto type = [&emptied, &command](QLineEdit* edit) {
                QObject::connect(edit, &QLineEdit::textChanged,
                                 [&emptied](const QString& text) { emptied = text.isEmpty(); });
                QTest::keyClicks(edit, command.typed);
            };
            if (command.typed == password) {
                m_script->OnModal<CSetAddrDlg>([&type](CSetAddrDlg* dlg) {
                    dlg->MaskCtrl()->SetAddress(Host("255.255.0.0"));
                    type(dlg->PasswordEdit());
                    Button(dlg, QStringLiteral("OK"))->click();
                });
            } else {
                m_script->OnModal<CSerialDlg>([&type](CSerialDlg* dlg) {
                    type(dlg->SerialEdit());
                    Button(dlg, QStringLiteral("OK"))->click();
                });
            }
            m_script->AnswerBox(&result);
            RightClick(0, QString());
            QVERIFY(done.wait(5000));
            QVERIFY(m_script->WaitDone());
            QCOMPARE(result, QStringLiteral("Succeed"));
            hits = watch.Hits();
        }
        QCOMPARE(hits, 0);
        QVERIFY(emptied);
    }
    const std::vector<CFakeClient::Request> requests = m_client->Requests();
    QCOMPARE(requests.size(), size_t(2));
    QVERIFY(requests[0].authCode == cipher.View());
    QVERIFY(requests[1].serialCode == code);
}

void TestWindow::aboutBoxFromTheWindowMenu() {
    QString version;
    QStringList items;
    m_script->ChooseMenu(QStringLiteral("About Scoutcam(&A)..."), &items);
    m_script->OnModal<CAboutDlg>([&version](CAboutDlg* dlg) {
        version = dlg->VersionLabel()->text();
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    const QPoint pos(20, m_dlg->height() - 5);  // beside the count, outside the list
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, m_dlg->mapToGlobal(pos));
    QApplication::sendEvent(m_dlg, &event);
    QVERIFY(m_script->WaitDone());
    QCOMPARE(items, QStringList{"About Scoutcam(&A)..."});
    QCOMPARE(version, QStringLiteral("1.0.2(D001SP02)"));
}

void TestWindow::quitClosesTheWindow() {
    QSignalSpy finished(m_dlg, &QDialog::finished);
    Button(m_dlg, QStringLiteral("Quit"))->click();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_dlg->result(), int(QDialog::Rejected));
    QVERIFY(!m_dlg->isVisible());
    m_dlg->show();
    QTest::keyClick(m_dlg, Qt::Key_Escape);
    QCOMPARE(finished.count(), 2);
}

SCOUTCAM_TEST_MAIN(TestWindow)
#include "test_window.moc"
