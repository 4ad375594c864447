// The main window under Wine on the fake client: searches, the list's rules and the device
// commands, driven by the messages a user's clicks send.

#include "ScoutcamDlg.h"
#include "WaitDlg.h"
#include "fake_client.h"
#include "front/front_request.h"
#include "front/front_strings.h"
#include "resource.h"
#include "win_driver.h"
#include "win_text.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WinWindow : public CWinTest {
protected:
    void SetUp() override {
        CWinTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_pDlg.reset(new CScoutcamDlg(&m_client));
        m_hWnd = m_pDlg->Create(nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        ShowWindow(m_hWnd, SW_SHOW);
        m_list = GetDlgItem(m_hWnd, IDC_DEVICE_LIST);
    }

    void TearDown() override { m_pDlg.reset(); }

    // Clicks a button and waits until the search window has ended.
    void Search(int button) {
        PostClick(m_hWnd, button);
        ASSERT_TRUE(PumpUntil([this]() { return m_pDlg->Searching(); }));
        ASSERT_TRUE(PumpUntil([this]() { return !m_pDlg->Searching(); }));
        PumpFor(50);
    }

    std::wstring Cell(int row, int column) {
        wchar_t text[256] = {};
        ListView_GetItemText(m_list, row, column, text, 256);
        return text;
    }

    std::vector<std::wstring> Column(int column) {
        std::vector<std::wstring> cells;
        for (int row = 0; row < ListView_GetItemCount(m_list); ++row) {
            cells.push_back(Cell(row, column));
        }
        return cells;
    }

    int SortFormat(int column) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(ListView_GetHeader(m_list), column, &item);
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }

    // A click on a column's header.
    void ClickHeader(int column) {
        HWND header = ListView_GetHeader(m_list);
        RECT rect = {};
        Header_GetItemRect(header, column, &rect);
        const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(header, WM_LBUTTONUP, 0, at);
        PumpFor(20);
    }

    COLORREF RowBackground(int row) {
        NMLVCUSTOMDRAW draw = {};
        draw.nmcd.hdr.hwndFrom = m_list;
        draw.nmcd.hdr.idFrom = IDC_DEVICE_LIST;
        draw.nmcd.hdr.code = NM_CUSTOMDRAW;
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        SendMessageW(m_hWnd, WM_NOTIFY, IDC_DEVICE_LIST, reinterpret_cast<LPARAM>(&draw));
        return draw.clrTextBk;
    }

    // A right-click on a row (the list's notification) opens the device menu, which the
    // user leaves without a choice; the command then comes as the menu would send it.
    void ChooseFromMenu(int row, int command) {
        bool menuShown = false;
        CWindowWatch menu(L"#32768", L"", [&menuShown](HWND) {
            menuShown = true;
            EndMenu();
        });
        NMITEMACTIVATE click = {};
        click.hdr.hwndFrom = m_list;
        click.hdr.idFrom = IDC_DEVICE_LIST;
        click.hdr.code = NM_RCLICK;
        click.iItem = row;
        click.iSubItem = 1;
        SendMessageW(m_hWnd, WM_NOTIFY, IDC_DEVICE_LIST, reinterpret_cast<LPARAM>(&click));
        EXPECT_EQ(menuShown, row >= 0);
        EXPECT_EQ(m_pDlg->SelectedRow(), row);
        if (command != 0) {
            PostMessageW(m_hWnd, WM_COMMAND, command, 0);
        }
    }

    CFakeClient m_client;
    std::unique_ptr<CScoutcamDlg> m_pDlg;
    HWND m_hWnd = nullptr;
    HWND m_list = nullptr;
};

TEST_F(WinWindow, StartsEmptyWithoutSearching) {
    EXPECT_EQ(ListView_GetItemCount(m_list), 0);
    EXPECT_EQ(ItemText(m_hWnd, IDC_COUNT), L"0");
    EXPECT_TRUE(m_client.Searches().empty());
    EXPECT_EQ(SortFormat(0), HDF_SORTUP);
    const wchar_t* titles[] = {
        L"", L"IP address", L"Type", L"Serial Number", L"Physical address", L"Version"};
    for (int c = 0; c < 6; ++c) {
        wchar_t text[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        ListView_GetColumn(m_list, c, &column);
        EXPECT_STREQ(text, titles[c]);
    }
    EXPECT_EQ(ListView_GetColumnWidth(m_list, 0), 0);
}

TEST_F(WinWindow, AutoSearchListsEachDeviceOnceSortsAndColoursTheRows) {
    CDiscoveryBean newer = FakeDevice("192.168.1.10", "KV2");
    newer.m_version = "V2";
    m_client.SetFleet({FakeDevice("192.168.1.9", "KV1"), FakeDevice("192.168.1.10", "KV2"),
                       FakeDevice("192.168.1.9", "KV1"), FakeDevice("10.0.0.5", "KV3", "abc"),
                       newer});
    bool waitShown = false;
    CWindowWatch wait(L"#32770", L"", [&waitShown](HWND hWnd) {
        waitShown = waitShown || TextOf(GetDlgItem(hWnd, IDC_WAIT_TEXT)) == L"Searching devices...";
    });
    Search(IDC_AUTO_SEARCH);
    EXPECT_TRUE(waitShown);
    EXPECT_EQ(CurrentWait(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(m_hWnd));
    ASSERT_EQ(m_client.Searches().size(), 1u);
    EXPECT_EQ(m_client.Searches()[0].first, 0u);
    EXPECT_EQ(m_pDlg->SearchModeValue(), CScoutcamDlg::SEARCH_AUTO);

    // The exact copy is dropped; a record that differs in one field is a row of its own.
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"192.168.1.9", L"192.168.1.10", L"10.0.0.5",
                                                    L"192.168.1.10"}));
    EXPECT_EQ(ItemText(m_hWnd, IDC_COUNT), L"4");
    EXPECT_EQ(Cell(0, 4), L"00-12-AB-CD-EF-01");
    EXPECT_EQ(Cell(2, 4), L"AB-C");
    EXPECT_EQ(Cell(3, 5), L"V2");
    EXPECT_EQ(Column(0), (std::vector<std::wstring>{L"0", L"1", L"2", L"3"}));

    // By text, ascending, then reversed by a second click; the mark follows.
    ClickHeader(1);
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"10.0.0.5", L"192.168.1.10", L"192.168.1.10",
                                                    L"192.168.1.9"}));
    EXPECT_EQ(SortFormat(1), HDF_SORTUP);
    EXPECT_EQ(SortFormat(0), 0);
    ClickHeader(1);
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"192.168.1.9", L"192.168.1.10",
                                                    L"192.168.1.10", L"10.0.0.5"}));
    EXPECT_EQ(SortFormat(1), HDF_SORTDOWN);
    // Rows keep their records, and equal cells their order.
    EXPECT_EQ(Cell(1, 5) + Cell(2, 5), L"V1V2");

    // Backgrounds alternate by index, also after the sort.
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(RowBackground(row), row % 2 == 0 ? RGB(248, 252, 255) : RGB(234, 238, 241));
    }

    // A new search empties the list first and puts the mark back on the arrival order.
    m_client.SetFleet({FakeDevice("192.168.1.30", "KV9")});
    Search(IDC_AUTO_SEARCH);
    EXPECT_EQ(Column(1), std::vector<std::wstring>{L"192.168.1.30"});
    EXPECT_EQ(ItemText(m_hWnd, IDC_COUNT), L"1");
    EXPECT_EQ(SortFormat(0), HDF_SORTUP);
}

TEST_F(WinWindow, ExactSearchListsTheRangeOnlyAndCancelKeepsTheList) {
    const std::wstring key = L"Software\\Korvane\\" + AppName();
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    m_client.SetFleet({FakeDevice("192.168.1.9", "KV1"), FakeDevice("192.168.1.20", "KV2"),
                       FakeDevice("192.168.1.21", "KV3"), FakeDevice("not an address", "KV4")});
    CWindowWatch range(L"#32770", L"Network Segment", [](HWND hWnd) {
        SetIp(hWnd, IDC_BEGIN_IP, Ip(192, 168, 1, 5));
        SetIp(hWnd, IDC_END_IP, Ip(192, 168, 1, 20));
        PostClick(hWnd, IDOK);
    });
    Search(IDC_EXACT_SEARCH);
    EXPECT_TRUE(range.Seen());
    EXPECT_EQ(m_client.ExactCalls(), 1);
    ASSERT_EQ(m_client.Searches().size(), 1u);
    EXPECT_EQ(m_client.Searches()[0].first, Ip(192, 168, 1, 5));
    EXPECT_EQ(m_client.Searches()[0].second, Ip(192, 168, 1, 20));
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"192.168.1.9", L"192.168.1.20"}));
    EXPECT_EQ(m_pDlg->SearchModeValue(), CScoutcamDlg::SEARCH_EXACT);

    CWindowWatch cancel(L"#32770", L"Network Segment",
                        [](HWND hWnd) { PostClick(hWnd, IDCANCEL); });
    SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_EXACT_SEARCH, BN_CLICKED), 0);
    EXPECT_TRUE(cancel.Seen());
    EXPECT_EQ(m_client.Searches().size(), 1u);
    EXPECT_EQ(ListView_GetItemCount(m_list), 2);

    // One address: one probe to it.
    CWindowWatch single(L"#32770", L"Network Segment", [](HWND hWnd) {
        SetIp(hWnd, IDC_BEGIN_IP, Ip(192, 168, 1, 21));
        SetIp(hWnd, IDC_END_IP, Ip(192, 168, 1, 21));
        PostClick(hWnd, IDOK);
    });
    Search(IDC_EXACT_SEARCH);
    EXPECT_EQ(m_client.ExactCalls(), 1);
    ASSERT_EQ(m_client.Searches().size(), 2u);
    EXPECT_EQ(m_client.Searches()[1].first, Ip(192, 168, 1, 21));
    EXPECT_EQ(Column(1), std::vector<std::wstring>{L"192.168.1.21"});
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(WinWindow, ASearchThatFindsNothingSaysSo) {
    CMessageBoxWatch box;
    Search(IDC_AUTO_SEARCH);
    EXPECT_TRUE(PumpUntil([&box]() { return box.Seen(); }));
    EXPECT_EQ(box.Text(), LoadResString(IDS_NO_DEVICE));
    EXPECT_EQ(ItemText(m_hWnd, IDC_COUNT), L"0");
}

TEST_F(WinWindow, EditNetworkAddressChangesTheRowOnSuccessOnly) {
    m_client.SetFleet({FakeDevice("192.168.1.9", "KV1"), FakeDevice("192.168.1.10", "KV2")});
    Search(IDC_AUTO_SEARCH);
    m_client.Hold();
    uint32_t preset = 0;
    CWindowWatch input(L"#32770", L"Edit Network Address", [&preset](HWND hWnd) {
        preset = GetIp(hWnd, IDC_IP);
        SetIp(hWnd, IDC_IP, Ip(192, 168, 1, 77));
        SetIp(hWnd, IDC_MASK, Ip(255, 255, 255, 0));
        SetIp(hWnd, IDC_GATEWAY, Ip(192, 168, 1, 1));
        SetDlgItemTextW(hWnd, IDC_PASSWORD, L"pa55");
        PostClick(hWnd, IDOK);
    });
    ChooseFromMenu(1, ID_EDIT_NETWORK_ADDRESS);
    ASSERT_TRUE(PumpUntil([this]() { return m_client.RequestWaiting(); }));
    EXPECT_EQ(preset, Ip(192, 168, 1, 10));
    // The request waits behind the wait window; the window takes no input.
    ASSERT_NE(CurrentWait(), nullptr);
    EXPECT_EQ(ItemText(CurrentWait(), IDC_WAIT_TEXT), L"Being Modified...");
    EXPECT_FALSE(IsWindowEnabled(m_hWnd));
    CMessageBoxWatch result;
    m_client.Release();
    ASSERT_TRUE(PumpUntil([&]() { return result.Seen() && !m_pDlg->CommandRunning(); }));
    EXPECT_EQ(result.Text(), L"Succeed");
    EXPECT_EQ(Cell(1, 1), L"192.168.1.77");
    EXPECT_EQ(Cell(1, 3), L"KV2");

    const std::vector<CFakeClient::Request> requests = m_client.Requests();
    ASSERT_EQ(requests.size(), 1u);
    UserInfo user;
    ASSERT_EQ(MakeOperator(CSecretText("pa55"), user), 0);
    EXPECT_EQ(requests[0].kind, 1);
    EXPECT_EQ(requests[0].target, 0u) << "after an Auto Search: to every segment";
    EXPECT_EQ(requests[0].userName, "admin");
    EXPECT_EQ(requests[0].authCode, user.m_authCode.View());
    EXPECT_EQ(requests[0].device.m_serialNo, "KV2");
    EXPECT_EQ(requests[0].device.m_deviceId, "0012abcdef01");
    EXPECT_EQ(requests[0].newAddr.m_ipAddr, "192.168.1.77");
    EXPECT_EQ(requests[0].newAddr.m_mask, "255.255.255.0");
    EXPECT_EQ(requests[0].newAddr.m_gateway, "192.168.1.1");

    // A refusal is shown and the row stays.
    m_client.SetResult(11005);
    CWindowWatch again(L"#32770", L"Edit Network Address", [](HWND hWnd) {
        SetIp(hWnd, IDC_IP, Ip(192, 168, 1, 78));
        PostClick(hWnd, IDOK);
    });
    CMessageBoxWatch refused;
    ChooseFromMenu(1, ID_EDIT_NETWORK_ADDRESS);
    ASSERT_TRUE(PumpUntil([&]() { return refused.Seen() && !m_pDlg->CommandRunning(); }));
    EXPECT_EQ(refused.Text(), L"Device IP conflict.");
    EXPECT_EQ(Cell(1, 1), L"192.168.1.77");
}

TEST_F(WinWindow, RestorePasswordSendsTheCodeToTheRowsDeviceAndLeavesTheList) {
    m_client.SetFleet({FakeDevice("192.168.1.9", "KV1", "001b89010001")});
    CWindowWatch range(L"#32770", L"Network Segment", [](HWND hWnd) {
        SetIp(hWnd, IDC_BEGIN_IP, Ip(192, 168, 1, 1));
        SetIp(hWnd, IDC_END_IP, Ip(192, 168, 1, 20));
        PostClick(hWnd, IDOK);
    });
    Search(IDC_EXACT_SEARCH);

    // Cancelled: nothing is sent, nothing shown.
    CWindowWatch cancel(L"#32770", L"Serial Code", [](HWND hWnd) { PostClick(hWnd, IDCANCEL); });
    ChooseFromMenu(0, ID_RESTORE_PASSWORD);
    ASSERT_TRUE(PumpUntil([&cancel]() { return cancel.Seen(); }));
    PumpFor(100);
    EXPECT_TRUE(m_client.Requests().empty());

    CWindowWatch input(L"#32770", L"Serial Code", [](HWND hWnd) {
        SetDlgItemTextW(hWnd, IDC_SERIAL_CODE, L"SC-123");
        PostClick(hWnd, IDOK);
    });
    CMessageBoxWatch result;
    m_client.SetResult(11003);
    ChooseFromMenu(0, ID_RESTORE_PASSWORD);
    ASSERT_TRUE(PumpUntil([&]() { return result.Seen() && !m_pDlg->CommandRunning(); }));
    EXPECT_EQ(result.Text(), L"Device serial code is invalid.");
    const std::vector<CFakeClient::Request> requests = m_client.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, 2);
    EXPECT_EQ(requests[0].target, Ip(192, 168, 1, 9)) << "after an Exact Search: to the device";
    EXPECT_EQ(requests[0].serialCode, "SC-123");
    EXPECT_EQ(requests[0].device.m_deviceId, "001b89010001");
    EXPECT_EQ(Column(1), std::vector<std::wstring>{L"192.168.1.9"});
}

TEST_F(WinWindow, ARightClickBelowTheRowsOpensNoMenuTheMenuKeyTheSelectedRows) {
    m_client.SetFleet({FakeDevice("192.168.1.9", "KV1"), FakeDevice("192.168.1.10", "KV2")});
    Search(IDC_AUTO_SEARCH);
    ChooseFromMenu(-1, 0);
    PumpFor(100);
    EXPECT_TRUE(m_client.Requests().empty());

    // The menu key (or Shift+F10) in the list: the list reports it without a position.
    bool menuShown = false;
    CWindowWatch menu(L"#32768", L"", [&menuShown](HWND) {
        menuShown = true;
        EndMenu();
    });
    ListView_SetItemState(m_list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(m_hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_list), -1);
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(m_pDlg->SelectedRow(), 1);
}

}  // namespace
