#pragma once

#include "Dialog.h"
#include "ImageStatic.h"
#include "ListCtrlEx.h"
#include "front/front_device_list.h"
#include "front/front_request.h"
#include "mc/mc_client.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Posted to the main window: the discovery client has queued device records (wParam, lParam
// 0); a configuration command's request has ended (wParam: its result).
const UINT KVX_WM_EVENTREPORT = WM_USER + 2;
const UINT KVX_WM_COMMANDDONE = WM_USER + 3;
const UINT KVX_WM_SEARCHENDED = WM_USER + 4;

// The main window: the device list, Auto Search and Exact Search, and the device commands of
// the list's menu. It observes the discovery client: Update runs on a client thread and
// only queues a copy of the record and posts one report for a burst; the window thread lists
// the queued records in slices, so that thousands of answers at once neither freeze the
// window nor delay the end of the search window. The configuration requests run on a worker
// thread, which posts its result back.
class CScoutcamDlg : public CDialog, public IObserver<CDiscoveryBean> {
public:
    enum SearchMode { SEARCH_AUTO = 0, SEARCH_EXACT = 1 };
    enum Command { CMD_NONE = 0, CMD_EDIT_ADDRESS = 1, CMD_RESTORE_PASSWORD = 2 };
    static const UINT kSearchWindowMs = 3000;

    explicit CScoutcamDlg(IDiscoveryClient* pClient);
    ~CScoutcamDlg() override;

    // Discovery thread.
    void Update(const CDiscoveryBean* pData) override;

    // Window thread: the record behind a row, with the address and type as the row shows them;
    // and a row's record replaced and its cells redrawn.
    void GetRecordOfRow(int row, CDiscoveryBean& record) const;
    void WriteRow(int row, const CDiscoveryBean& record);

    const CListCtrlEx& List() const { return m_list; }
    int Total() const { return m_total; }
    int SearchModeValue() const { return m_searchMode; }
    int SelectedRow() const { return m_selectedRow; }
    bool Searching() const { return m_searching; }
    bool CommandRunning() const { return m_worker.joinable(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void InsertColumns();
    void LayOut();
    void ClearList();
    void OnAutoSearch();
    void OnExactSearch();
    void StartSearchWindow();
    void OnSearchTimer();
    void OnSearchEnded();
    // Lists queued records for a slice of time; the rest wait for the next slice.
    void ListSlice();
    void ListAllPending();
    // Takes up to `most` queued records into the device list, adding the keys of those it
    // lists; false when none are left queued.
    bool TakePending(size_t most, std::vector<int>& keys);
    // Rows for the listed keys, at the end of the list, and the new total.
    void ShowRows(const std::vector<int>& keys);
    void ShowTotal();
    bool OnNotify(const NMHDR* pHeader, LRESULT* pResult);
    void OnListRightClick(int row);
    // The keyboard's menu key or Shift+F10 in the list: the menu of the selected row.
    void OnListMenuKey();
    void OpenDeviceMenu(int row, POINT screen);
    void OnCommand(int id);
    void RunDeviceCommand();
    void EditNetworkAddress();
    void RestorePassword();
    void OnBrowseWebPage();
    void OpenAboutBox();
    // Runs the request on a worker thread behind the wait window; OnCommandDone shows the end.
    void StartRequest(DeviceRequest request);
    void OnCommandDone(int result);

    IDiscoveryClient* m_pClient;
    CListCtrlEx m_list;
    CImageStatic m_logo;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;

    int m_searchMode = SEARCH_AUTO;
    bool m_searching = false;
    int m_selectedRow = -1;
    int m_pendingCommand = CMD_NONE;
    int m_total = 0;
    bool m_laidOut = false;
    // The record behind each row, under the row's key, with the search's range.
    CDeviceList m_devices;

    // Records that the discovery client handed over and the window has not listed yet, and
    // whether a report is on its way to list them.
    std::mutex m_pendingLock;
    std::deque<std::unique_ptr<CDiscoveryBean>> m_pending;
    bool m_reportPosted = false;
    HWND m_reportTarget = nullptr;  // the window, for Update; null once it is gone
    DWORD m_lastSlice = 0;

    // The running configuration command: its worker, and what a successful address change
    // writes back into its row.
    std::thread m_worker;
    int m_commandRow = -1;
    CDiscoveryBean m_commandRecord;
    std::string m_commandNewIp;
};
