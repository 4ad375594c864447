#pragma once

#include "front/front_device_list.h"
#include "front/front_request.h"
#include "mc/mc_client.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CImageStatic;
class CListCtrlEx;
class QLabel;
class QPushButton;

// The main window: the device list, Auto Search and Exact Search, and the device commands of
// the list's context menu. It observes the discovery client: Update runs on a client thread
// and only queues a copy of the record for the GUI thread, which lists the queued
// records in slices, so that thousands of answers at once neither freeze the window nor
// delay the end of the search window.
class CScoutcamDlg : public QDialog, public IObserver<CDiscoveryBean> {
    Q_OBJECT
public:
    enum SearchMode { SEARCH_AUTO = 0, SEARCH_EXACT = 1 };
    enum Command { CMD_NONE = 0, CMD_EDIT_ADDRESS = 1, CMD_RESTORE_PASSWORD = 2 };
    static const int kSearchWindowMs = 3000;

    explicit CScoutcamDlg(IDiscoveryClient* pClient, QWidget* parent = nullptr);
    ~CScoutcamDlg() override;

    // Discovery thread.
    void Update(const CDiscoveryBean* pData) override;

    // GUI thread.
    void OnAutoSearch();
    void OnExactSearch();
    void OnEditNetworkAddress();
    void OnRestorePassword();
    void OnBrowseWebPage();
    void OpenAboutBox();

    // The record behind a row, with the address and type as the row shows them.
    void GetRecordOfRow(int row, CDiscoveryBean& record) const;
    // Writes a row's cells and stores its record under the row's key.
    void WriteRow(int row, const CDiscoveryBean& record);

    CListCtrlEx* List() const { return m_list; }
    int Total() const { return m_total; }
    int SearchModeValue() const { return m_searchMode; }
    int SelectedRow() const { return m_selectedRow; }
    bool IsCommandRunning() const { return m_worker.joinable(); }

    void reject() override;

signals:
    // The search window has ended and every record posted within it is listed.
    void SearchFinished();
    // A configuration command has shown its result.
    void CommandFinished(int result);

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayOut();
    void ClearList();
    void StartSearchWindow();
    void OnSearchTimer();
    void OnSearchEnded();
    using RecordBatch = std::vector<std::unique_ptr<CDiscoveryBean>>;
    // Takes up to `most` queued records; false when none are left queued after them.
    bool TakePending(size_t most, RecordBatch& batch);
    // The discovery client has queued records: the next slice lists them, a pause after the
    // last one.
    void ScheduleSlice();
    // Lists queued records for a slice of time and leaves the rest for the next slice.
    void ListSlice();
    // Lists every record still queued.
    void ListAllPending();
    // Appends the records that the device list takes, in one insertion.
    void ListRecords(const RecordBatch& batch);
    void WriteCells(int row, const CDiscoveryBean& record);
    void OnListRightClick(const QPoint& viewportPos, const QPoint& globalPos);
    // The keyboard's menu key or Shift+F10 in the list: the device menu of the selected row;
    // false when no row is selected.
    bool OnListMenuKey();
    void OpenDeviceMenu(int row, const QPoint& globalPos);
    void RunDeviceCommand();
    void EditNetworkAddress();
    void RestorePassword();
    // Runs the request on a worker thread behind the wait window; OnCommandDone shows the end.
    void StartRequest(DeviceRequest request);
    void OnCommandDone(int result);
    int KeyOfRow(int row) const;

    IDiscoveryClient* m_pClient;
    CListCtrlEx* m_list;
    CImageStatic* m_logo;
    QPushButton* m_autoButton;
    QPushButton* m_exactButton;
    QPushButton* m_quitButton;
    QLabel* m_totalLabel;
    QLabel* m_countLabel;
    QTimer m_searchTimer;

    int m_searchMode = SEARCH_AUTO;
    int m_selectedRow = -1;
    int m_pendingCommand = CMD_NONE;
    int m_total = 0;
    bool m_laidOut = false;
    // The record behind each row, under the row's key, with the search's range.
    CDeviceList m_devices;

    // Records that the discovery client handed over and the window has not listed yet, and
    // whether a report event or the next slice is on its way to list them.
    std::mutex m_pendingLock;
    std::deque<std::unique_ptr<CDiscoveryBean>> m_pending;
    bool m_reportPosted = false;
    QTimer m_listTimer;
    QElapsedTimer m_lastSlice;

    // The running configuration command: its worker, and what a successful address change
    // writes back into its row.
    std::thread m_worker;
    int m_commandRow = -1;
    CDiscoveryBean m_commandRecord;
    std::string m_commandNewIp;
};
