#include "ScoutcamDlg.h"

#include "AboutDlg.h"
#include "ErrMsg.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "WebPage.h"
#include "common/common_log.h"
#include "common/common_secret.h"
#include "front/front_address.h"
#include "front/front_request.h"
#include "front/front_strings.h"
#include "resource.h"
#include "win_text.h"

#include <commctrl.h>

#include <utility>
#include <vector>

namespace {

const UINT_PTR kSearchTimer = 1;
const UINT_PTR kListTimer = 2;

// Queued records are listed in slices of about this many milliseconds, taken this many at a
// time, with at least a pause between two slices: painting, input and the search timer get
// their turn while the discovery client still reads the answers.
const DWORD kListSliceMs = 20;
const DWORD kListPauseMs = 40;
const size_t kListBatch = 256;

// Column 0 holds the row's index and stays hidden; column c > 0 shows the device list's
// column c - 1.
const int kColumnCount = DEVICE_COL_COUNT + 1;
const int kColumnWidths[kColumnCount] = {0, 120, 120, 200, 200, 400};

// Room for the count: six digits where the template has two.
const int kCountWidthDu = 40;

}  // namespace

CScoutcamDlg::CScoutcamDlg(IDiscoveryClient* pClient)
    : CDialog(IDD_SCOUTCAM_DIALOG), m_pClient(pClient) {}

CScoutcamDlg::~CScoutcamDlg() {
    // No record may reach a window that is gone; a command still running is waited for.
    m_pClient->Detach(this);
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_reportTarget = nullptr;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_bigIcon != nullptr) {
        DestroyIcon(m_bigIcon);
    }
    if (m_smallIcon != nullptr) {
        DestroyIcon(m_smallIcon);
    }
}

BOOL CScoutcamDlg::OnInitDialog() {
    const std::wstring about = LoadResString(IDS_ABOUTBOX);
    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (!about.empty() && systemMenu != nullptr) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_bigIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

    HWND list = Item(IDC_DEVICE_LIST);
    m_list.Attach(list, [this](int key, int column) {
        const CDiscoveryBean* pRecord = m_devices.Find(key);
        return pRecord != nullptr ? Widen(GetDeviceCell(*pRecord, column - 1)) : std::wstring();
    });
    ListView_SetExtendedListViewStyleEx(
        list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER,
        LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    InsertColumns();
    m_list.SetSortMark(0, true);
    m_logo.LoadPNG(IDB_LOGO);

    RECT count = {0, 0, kCountWidthDu, 8};
    MapDialogRect(m_hWnd, &count);
    SetWindowPos(Item(IDC_COUNT), nullptr, 0, 0, count.right, count.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_reportTarget = m_hWnd;
    }
    m_laidOut = true;
    LayOut();
    ShowTotal();
    return TRUE;
}

void CScoutcamDlg::InsertColumns() {
    HWND list = m_list.Handle();
    for (int c = 0; c < kColumnCount; ++c) {
        std::wstring title = c == 0 ? std::wstring() : LoadResString(GetColumnTitleId(c - 1));
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = c == 0 ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.cx = kColumnWidths[c];
        column.pszText = &title[0];
        column.iSubItem = c;
        ListView_InsertColumn(list, c, &column);
    }
}

void CScoutcamDlg::LayOut() {
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    const int w = client.right;
    const int h = client.bottom;
    const UINT keep = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(Item(IDC_LOGO), nullptr, 14, 7, 79, 20, SWP_NOZORDER | SWP_NOACTIVATE);
    HWND list = m_list.Handle();
    SetWindowPos(list, nullptr, 7, 34, w - 14, h - 73, SWP_NOZORDER | SWP_NOACTIVATE);
    m_list.FitLastColumn();
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const int buttonY = h - 32;
    SetWindowPos(Item(IDCANCEL), nullptr, w - 95, buttonY, 0, 0, keep);
    SetWindowPos(Item(IDC_EXACT_SEARCH), nullptr, w - 190, buttonY, 0, 0, keep);
    SetWindowPos(Item(IDC_AUTO_SEARCH), nullptr, w - 285, buttonY, 0, 0, keep);
    // The labels sit on the buttons' line, their text level with the buttons' captions.
    RECT button = {};
    RECT label = {};
    GetWindowRect(Item(IDCANCEL), &button);
    GetWindowRect(Item(IDC_TOTAL_LABEL), &label);
    const int labelY = buttonY + ((button.bottom - button.top) - (label.bottom - label.top)) / 2;
    SetWindowPos(Item(IDC_TOTAL_LABEL), nullptr, 7, labelY, 0, 0, keep);
    SetWindowPos(Item(IDC_COUNT), nullptr, 57, labelY, 0, 0, keep);
}

void CScoutcamDlg::ShowTotal() {
    SetDlgItemInt(m_hWnd, IDC_COUNT, static_cast<UINT>(m_total), FALSE);
}

void CScoutcamDlg::ClearList() {
    m_devices.Clear();
    m_list.Clear();
    // New rows come in the order of arrival, which the mark of the hidden index column tells.
    m_list.SetSortMark(0, true);
    m_total = 0;
    ShowTotal();
}

void CScoutcamDlg::OnAutoSearch() {
    ClearList();
    m_searchMode = SEARCH_AUTO;
    m_pClient->Attach(this);
    m_devices.SetRange(false, 0, 0);
    m_pClient->Search(0);
    StartSearchWindow();
}

void CScoutcamDlg::OnExactSearch() {
    CSubnetSectDlg dlg;
    if (dlg.DoModal(m_hWnd) != IDOK) {
        return;
    }
    ClearList();
    m_searchMode = SEARCH_EXACT;
    m_pClient->Attach(this);
    m_devices.SetRange(true, dlg.m_beginIp, dlg.m_endIp);
    if (dlg.m_beginIp == dlg.m_endIp) {
        m_pClient->Search(dlg.m_beginIp);
    } else {
        m_pClient->ExactSearch(dlg.m_beginIp, dlg.m_endIp);
    }
    StartSearchWindow();
}

void CScoutcamDlg::StartSearchWindow() {
    m_searching = true;
    ShowWait(m_hWnd, LoadResString(IDS_SEARCHING));
    SetTimer(m_hWnd, kSearchTimer, kSearchWindowMs, nullptr);
}

void CScoutcamDlg::OnSearchTimer() {
    KillTimer(m_hWnd, kSearchTimer);
    m_pClient->Detach(this);
    // Records queued before the detach are still shown, and counted when the window ends.
    ListAllPending();
    CloseWait();
    m_searching = false;
    PostMessageW(m_hWnd, KVX_WM_SEARCHENDED, 0, 0);
}

void CScoutcamDlg::OnSearchEnded() {
    if (m_list.RowCount() == 0) {
        ShowMessage(m_hWnd, LoadResString(IDS_NO_DEVICE));
    }
}

void CScoutcamDlg::Update(const CDiscoveryBean* pData) {
    std::unique_ptr<CDiscoveryBean> pDiscoveryData(new (std::nothrow) CDiscoveryBean(*pData));
    if (!pDiscoveryData) {
        LOG_ERROR("new pDiscoveryData failed");
        return;
    }
    std::lock_guard<std::mutex> guard(m_pendingLock);
    m_pending.push_back(std::move(pDiscoveryData));
    // One report for a whole burst of records.
    if (m_reportPosted || m_reportTarget == nullptr) {
        return;
    }
    if (!PostMessageW(m_reportTarget, KVX_WM_EVENTREPORT, 0, 0)) {
        LOG_ERROR("PostMessage KVX_WM_EVENTREPORT failed");
        m_pending.pop_back();
        return;
    }
    m_reportPosted = true;
}

bool CScoutcamDlg::TakePending(size_t most, std::vector<int>& keys) {
    std::vector<std::unique_ptr<CDiscoveryBean>> batch;
    bool more = false;
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        while (batch.size() < most && !m_pending.empty()) {
            batch.push_back(std::move(m_pending.front()));
            m_pending.pop_front();
        }
        more = !m_pending.empty();
        if (!more) {
            m_reportPosted = false;  // the next record posts a new report
        }
    }
    for (const auto& pRecord : batch) {
        const int key = m_devices.Add(*pRecord);
        if (key >= 0) {
            keys.push_back(key);
        }
    }
    return more;
}

void CScoutcamDlg::ShowRows(const std::vector<int>& keys) {
    if (keys.empty()) {
        return;
    }
    // One change of the list's row count for all of them: the list control's own work per
    // change (scroll bars, invalidation) is then paid once, not once per batch.
    m_list.AppendRows(keys);
    m_total += static_cast<int>(keys.size());
    ShowTotal();
    SetFocus(m_list.Handle());
}

void CScoutcamDlg::ListSlice() {
    const DWORD start = GetTickCount();
    std::vector<int> keys;
    bool more = true;
    while (more && GetTickCount() - start < kListSliceMs) {
        more = TakePending(kListBatch, keys);
    }
    ShowRows(keys);
    m_lastSlice = GetTickCount();
    if (more) {
        SetTimer(m_hWnd, kListTimer, kListPauseMs, nullptr);
    }
}

void CScoutcamDlg::ListAllPending() {
    KillTimer(m_hWnd, kListTimer);
    std::vector<int> keys;
    while (TakePending(kListBatch, keys)) {
    }
    ShowRows(keys);
}

void CScoutcamDlg::GetRecordOfRow(int row, CDiscoveryBean& record) const {
    const CDiscoveryBean* pStored = m_devices.Find(m_list.KeyOfRow(row));
    record = pStored != nullptr ? *pStored : CDiscoveryBean();
    record.m_hardware = Narrow(m_list.CellText(row, 1 + DEVICE_COL_TYPE));
    record.m_ipAddr = Narrow(m_list.CellText(row, 1 + DEVICE_COL_IP));
}

void CScoutcamDlg::WriteRow(int row, const CDiscoveryBean& record) {
    m_devices.Replace(m_list.KeyOfRow(row), record);
    m_list.RewriteRow(row);
}

void CScoutcamDlg::OnOK() {
    // Enter presses the default button, Auto Search, which has an id of its own.
}

void CScoutcamDlg::OnCancel() {
    m_devices.Clear();
    LOG_INFO("exit the program");
    End(IDCANCEL);
}

bool CScoutcamDlg::OnNotify(const NMHDR* pHeader, LRESULT* pResult) {
    if (pHeader->idFrom == IDC_DEVICE_LIST && pHeader->code == static_cast<UINT>(NM_RCLICK)) {
        OnListRightClick(reinterpret_cast<const NMITEMACTIVATE*>(pHeader)->iItem);
        *pResult = 0;
        return true;
    }
    return m_list.OnNotify(pHeader, pResult);
}

void CScoutcamDlg::OnListRightClick(int row) {
    m_selectedRow = row;
    if (m_selectedRow == -1) {
        return;
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    OpenDeviceMenu(row, cursor);
}

void CScoutcamDlg::OnListMenuKey() {
    HWND list = m_list.Handle();
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row == -1) {
        return;
    }
    m_selectedRow = row;
    // The menu opens below the row's address, as if the row had been clicked there.
    ListView_EnsureVisible(list, row, FALSE);
    RECT cell = {};
    ListView_GetSubItemRect(list, row, 1 + DEVICE_COL_IP, LVIR_LABEL, &cell);
    POINT at = {cell.left, cell.bottom};
    ClientToScreen(list, &at);
    OpenDeviceMenu(row, at);
}

void CScoutcamDlg::OpenDeviceMenu(int row, POINT screen) {
    HWND list = m_list.Handle();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MENU_CONFIG));
    if (menu == nullptr) {
        LOG_ERROR("LoadMenu(%d) failed(%lu)", IDR_MENU_CONFIG, GetLastError());
        return;
    }
    // The chosen command arrives as WM_COMMAND.
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                   m_hWnd, nullptr);
    DestroyMenu(menu);
}

void CScoutcamDlg::OnCommand(int id) {
    switch (id) {
    case IDC_AUTO_SEARCH:
        OnAutoSearch();
        break;
    case IDC_EXACT_SEARCH:
        OnExactSearch();
        break;
    case ID_EDIT_NETWORK_ADDRESS:
        m_pendingCommand = CMD_EDIT_ADDRESS;
        RunDeviceCommand();
        break;
    case ID_RESTORE_PASSWORD:
        m_pendingCommand = CMD_RESTORE_PASSWORD;
        RunDeviceCommand();
        break;
    case ID_BROWSE_WEB_PAGE:
        OnBrowseWebPage();
        break;
    default:
        break;
    }
}

void CScoutcamDlg::RunDeviceCommand() {
    switch (m_pendingCommand) {
    case CMD_EDIT_ADDRESS:
        EditNetworkAddress();
        break;
    case CMD_RESTORE_PASSWORD:
        RestorePassword();
        break;
    default:
        LOG_WARN("unknown commond(%d)", m_pendingCommand);
        break;
    }
}

void CScoutcamDlg::EditNetworkAddress() {
    CDiscoveryBean record;
    GetRecordOfRow(m_selectedRow, record);
    CSetAddrDlg dlg;
    dlg.m_ip = IpTextToHost(record.m_ipAddr);
    if (dlg.DoModal(m_hWnd) != IDOK) {
        return;
    }
    const CSecretText password(Narrow(dlg.m_password));
    const DeviceAddress newAddr = MakeDeviceAddress(dlg.m_ip, dlg.m_mask, dlg.m_gateway);
    DeviceRequest request;
    const int ret =
        MakeAddressRequest(m_pClient, CommandTarget(m_searchMode == SEARCH_EXACT, record), record,
                           password, newAddr, &request);
    if (ret != RESULT_OK) {
        ShowErrMsg(m_hWnd, ret);
        return;
    }
    m_commandRow = m_selectedRow;
    m_commandRecord = record;
    m_commandNewIp = newAddr.m_ipAddr;
    StartRequest(request);
}

void CScoutcamDlg::RestorePassword() {
    CSerialDlg dlg;
    if (dlg.DoModal(m_hWnd) != IDOK) {
        return;
    }
    CDiscoveryBean record;
    GetRecordOfRow(m_selectedRow, record);
    LOG_INFO("start resume password");
    m_commandRow = -1;
    StartRequest(MakePasswordRequest(m_pClient, CommandTarget(m_searchMode == SEARCH_EXACT, record),
                                     record, CSecretText(Narrow(dlg.m_serialCode))));
}

void CScoutcamDlg::StartRequest(DeviceRequest request) {
    ShowWait(m_hWnd, LoadResString(IDS_BEING_MODIFIED));
    // The worker sees only its own copies; the result comes back as a posted message.
    HWND window = m_hWnd;
    m_worker = std::thread([window, request]() {
        const int result = request();
        if (!PostMessageW(window, KVX_WM_COMMANDDONE, static_cast<WPARAM>(result), 0)) {
            LOG_ERROR("PostMessage KVX_WM_COMMANDDONE failed");
        }
    });
}

void CScoutcamDlg::OnCommandDone(int result) {
    m_worker.join();
    CloseWait();
    if (result == RESULT_OK && m_pendingCommand == CMD_EDIT_ADDRESS && m_commandRow >= 0) {
        m_commandRecord.m_ipAddr = m_commandNewIp;
        WriteRow(m_commandRow, m_commandRecord);
        InvalidateRect(m_list.Handle(), nullptr, TRUE);
    }
    ShowErrMsg(m_hWnd, result);
}

void CScoutcamDlg::OnBrowseWebPage() {
    CDiscoveryBean record;
    GetRecordOfRow(m_selectedRow, record);
    OpenWebPage(m_hWnd, L"http://" + Widen(record.m_ipAddr));
}

void CScoutcamDlg::OpenAboutBox() {
    CAboutDlg dlg;
    dlg.DoModal(m_hWnd);
}

INT_PTR CScoutcamDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<const NMHDR*>(lParam), &result)) {
            return FALSE;
        }
        SetResult(result);
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kSearchTimer) {
            OnSearchTimer();
        } else if (wParam == kListTimer) {
            KillTimer(m_hWnd, kListTimer);
            ListSlice();
        }
        return TRUE;
    case KVX_WM_EVENTREPORT: {
        // The next slice after a pause since the last one.
        const DWORD since = GetTickCount() - m_lastSlice;
        SetTimer(m_hWnd, kListTimer,
                 since >= kListPauseMs ? USER_TIMER_MINIMUM : kListPauseMs - since, nullptr);
        return TRUE;
    }
    case KVX_WM_COMMANDDONE:
        OnCommandDone(static_cast<int>(wParam));
        return TRUE;
    case KVX_WM_SEARCHENDED:
        OnSearchEnded();
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OpenAboutBox();
            return TRUE;
        }
        return FALSE;
    case WM_CONTEXTMENU:
        // From the keyboard (lParam -1) in the list: the selected row's menu. A right-click
        // in the list opens it through NM_RCLICK.
        if (reinterpret_cast<HWND>(wParam) == m_list.Handle() && lParam == -1) {
            OnListMenuKey();
            return TRUE;
        }
        return FALSE;
    case WM_SIZE:
        if (m_laidOut) {
            LayOut();
        }
        return FALSE;
    case WM_DRAWITEM: {
        const auto* pItem = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (pItem->CtlID != IDC_LOGO) {
            return FALSE;
        }
        FillRect(pItem->hDC, &pItem->rcItem, GetSysColorBrush(COLOR_3DFACE));
        m_logo.Draw(pItem->hDC, pItem->rcItem);
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_bigIcon);
    case WM_DESTROY: {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_reportTarget = nullptr;
        return FALSE;
    }
    default:
        return FALSE;
    }
}
