#include "ScoutcamDlg.h"

#include "AboutDlg.h"
#include "DlgUnits.h"
#include "ErrMsg.h"
#include "ImageStatic.h"
#include "ListCtrlEx.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "WebPage.h"
#include "common/common_charset.h"
#include "common/common_log.h"
#include "common/common_secret.h"
#include "front/front_address.h"
#include "front/front_request.h"

#include <QCoreApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

// Private event that tells the window that the discovery client has queued records.
const QEvent::Type kEventReport = static_cast<QEvent::Type>(QEvent::User + 2);

// Queued records are listed in slices of about this many milliseconds, taken this many at a
// time, with at least a pause between two slices: painting, input and the search timer get
// their turn, and the list is redrawn a few times a second, not after every record of a
// trickle or every slice of a burst, while the discovery client still reads the answers.
const int kListSliceMs = 20;
const int kListPauseMs = 40;
const size_t kListBatch = 256;

const int kColumnCount = 6;
const int kKeyRole = Qt::UserRole;

// Column 0 holds the row's index and key and stays hidden; column c > 0 shows the device
// list's column c - 1.
struct ColumnSpec {
    Qt::Alignment alignment;
    int width;
};
const Qt::Alignment kDefaultCellAlignment = Qt::AlignLeft | Qt::AlignVCenter;
const ColumnSpec kColumns[kColumnCount] = {
    {Qt::AlignCenter, 0},
    {Qt::AlignLeft | Qt::AlignVCenter, 120},
    {Qt::AlignLeft | Qt::AlignVCenter, 120},
    {Qt::AlignLeft | Qt::AlignVCenter, 200},
    {Qt::AlignLeft | Qt::AlignVCenter, 200},
    {Qt::AlignLeft | Qt::AlignVCenter, 400},
};
static_assert(kColumnCount == DEVICE_COL_COUNT + 1, "one hidden column before the device's");

QString Widen(const std::string& text) {
    return QString::fromStdU16String(ConvertToWString(CHARSET_ANSI, text.c_str()));
}

std::string Narrow(const QString& text) {
    return ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, text.utf16());
}

// Overwrites the text's characters and empties it. Shared characters are copied first (data()
// detaches), and only that copy is overwritten: let go of the other holders beforehand.
void WipeQString(QString* pText) {
    if (!pText->isEmpty()) {
        WipeBytes(pText->data(), static_cast<size_t>(pText->size()) * sizeof(QChar));
    }
    pText->clear();
}

// The narrow form of a secret that a dialog confirmed in *pText, the member of the edit it was
// typed into. Afterwards the edit and the member are empty, and the characters they shared
// are overwritten where they were.
CSecretText TakeSecret(QString* pText, QLineEdit* pEdit) {
    QString typed = pEdit->text();  // shares the edit's characters
    pEdit->setText(QString());
    CSecretText narrow(Narrow(*pText));
    WipeQString(pText);
    WipeQString(&typed);
    return narrow;
}

}  // namespace

CScoutcamDlg::CScoutcamDlg(IDiscoveryClient* pClient, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_pClient(pClient) {
    InitAppResources();
    setWindowTitle(QStringLiteral("Scoutcam"));
    setWindowIcon(QIcon(QStringLiteral(":/res/scoutcam.png")));
    setFont(DialogFont(9));
    CDlgUnits du(font());
    resize(du.X(615), du.Y(321));
    setMinimumSize(size());

    m_logo = new CImageStatic(this);
    m_logo->setGeometry(du.Rect(7, 7, 110, 24));
    m_list = new CListCtrlEx(this);
    m_list->setGeometry(du.Rect(7, 36, 601, 259));
    m_autoButton = new QPushButton(QStringLiteral("&Auto Search"), this);
    m_autoButton->setGeometry(du.Rect(446, 300, 52, 14));
    m_autoButton->setDefault(true);
    m_exactButton = new QPushButton(QStringLiteral("&Exact Search..."), this);
    m_exactButton->setGeometry(du.Rect(502, 300, 52, 14));
    m_quitButton = new QPushButton(QStringLiteral("&Quit"), this);
    m_quitButton->setGeometry(du.Rect(558, 300, 52, 14));
    // Labels grow to their text where the font needs more room than the template gives.
    m_totalLabel = new QLabel(QStringLiteral("Total:"), this);
    m_totalLabel->setGeometry(du.Rect(7, 306, 19, 8));
    m_totalLabel->resize(qMax(m_totalLabel->width(), m_totalLabel->sizeHint().width()),
                         m_totalLabel->height());
    m_countLabel = new QLabel(QStringLiteral("NA"), this);
    m_countLabel->setGeometry(du.Rect(30, 306, 14, 8));
    m_countLabel->resize(qMax(m_countLabel->width(), du.X(40)), m_countLabel->height());

    setTabOrder(m_list, m_autoButton);
    setTabOrder(m_autoButton, m_exactButton);
    setTabOrder(m_exactButton, m_quitButton);

    connect(m_autoButton, &QPushButton::clicked, this, &CScoutcamDlg::OnAutoSearch);
    connect(m_exactButton, &QPushButton::clicked, this, &CScoutcamDlg::OnExactSearch);
    connect(m_quitButton, &QPushButton::clicked, this, &CScoutcamDlg::reject);
    m_searchTimer.setParent(this);
    m_searchTimer.setObjectName(QStringLiteral("searchTimer"));
    m_searchTimer.setSingleShot(true);
    m_searchTimer.setTimerType(Qt::PreciseTimer);  // a coarse timer may end 150 ms off
    connect(&m_searchTimer, &QTimer::timeout, this, &CScoutcamDlg::OnSearchTimer);
    m_listTimer.setParent(this);
    m_listTimer.setSingleShot(true);
    connect(&m_listTimer, &QTimer::timeout, this, &CScoutcamDlg::ListSlice);

    // Initialisation: columns, sort mark, logo, layout, count.
    m_list->setColumnCount(kColumnCount);
    QStringList titles{QString()};
    for (int c = 0; c < DEVICE_COL_COUNT; ++c) {
        titles << LoadResString(GetColumnTitleId(c));
    }
    m_list->setHorizontalHeaderLabels(titles);
    for (int c = 0; c < kColumnCount; ++c) {
        m_list->horizontalHeaderItem(c)->setTextAlignment(kColumns[c].alignment);
        m_list->setColumnWidth(c, kColumns[c].width);
    }
    m_list->setColumnHidden(0, true);
    m_list->SetSortMark(0, Qt::AscendingOrder);
    m_list->setAccessibleName(QStringLiteral("Device list"));
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    m_logo->LoadPNG(QStringLiteral(":/res/logo.png"));
    m_laidOut = true;
    LayOut();
    m_countLabel->setText(QString::number(m_total));
}

CScoutcamDlg::~CScoutcamDlg() {
    // No record may reach a window that is gone; a command still running is waited for.
    m_pClient->Detach(this);
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CScoutcamDlg::LayOut() {
    CDlgUnits du(font());
    const int w = width();
    const int h = height();
    m_logo->setGeometry(du.PixelsX(14), du.PixelsY(7), 79, 20);
    m_list->setGeometry(du.PixelsX(7), du.PixelsY(34), w - du.PixelsX(14), h - du.PixelsY(73));
    m_list->viewport()->update();
    const int buttonY = h - du.PixelsY(32);
    m_quitButton->move(w - du.PixelsX(95), buttonY);
    m_exactButton->move(w - du.PixelsX(190), buttonY);
    m_autoButton->move(w - du.PixelsX(285), buttonY);
    // The labels sit on the buttons' line, their text level with the buttons' captions.
    const int labelY = buttonY + (m_quitButton->height() - m_totalLabel->height()) / 2;
    m_totalLabel->move(du.PixelsX(7), labelY);
    m_countLabel->move(du.PixelsX(57), labelY);
}

void CScoutcamDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_laidOut) {
        LayOut();
    }
}

void CScoutcamDlg::ClearList() {
    m_devices.Clear();
    m_list->setRowCount(0);
    // New rows come in the order of arrival, which the mark of the hidden index column tells.
    m_list->SetSortMark(0, Qt::AscendingOrder);
    m_list->viewport()->update();
    m_total = 0;
    m_countLabel->setText(QString::number(m_total));
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
    CSubnetSectDlg dlg(this);
    if (dlg.exec() != QDialog::Accepted) {
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
    ShowWait(this, LoadResString(IDS_SEARCHING));
    m_searchTimer.start(kSearchWindowMs);
}

void CScoutcamDlg::OnSearchTimer() {
    m_searchTimer.stop();
    m_pClient->Detach(this);
    // Records queued before the detach are still shown, and counted when the window ends.
    ListAllPending();
    CloseWait();
    QMetaObject::invokeMethod(this, &CScoutcamDlg::OnSearchEnded, Qt::QueuedConnection);
}

void CScoutcamDlg::OnSearchEnded() {
    if (m_list->rowCount() == 0) {
        ShowMessage(this, LoadResString(IDS_NO_DEVICE));
    }
    emit SearchFinished();
}

void CScoutcamDlg::Update(const CDiscoveryBean* pData) {
    std::unique_ptr<CDiscoveryBean> pDiscoveryData(new (std::nothrow) CDiscoveryBean(*pData));
    if (!pDiscoveryData) {
        LOG_ERROR("new pDiscoveryData failed");
        return;
    }
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_pending.push_back(std::move(pDiscoveryData));
        post = !m_reportPosted;
        m_reportPosted = true;
    }
    // One event for a whole burst of records; Qt drops it if the window is gone before it runs.
    if (post) {
        QCoreApplication::postEvent(this, new QEvent(kEventReport));
    }
}

void CScoutcamDlg::customEvent(QEvent* event) {
    if (event->type() == kEventReport) {
        ScheduleSlice();
        return;
    }
    QDialog::customEvent(event);
}

bool CScoutcamDlg::TakePending(size_t most, RecordBatch& batch) {
    std::lock_guard<std::mutex> guard(m_pendingLock);
    while (batch.size() < most && !m_pending.empty()) {
        batch.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
    }
    if (m_pending.empty()) {
        m_reportPosted = false;  // the next record posts a new report
        return false;
    }
    return true;
}

void CScoutcamDlg::ScheduleSlice() {
    if (m_listTimer.isActive()) {
        return;  // the next slice is already due
    }
    const qint64 since = m_lastSlice.isValid() ? m_lastSlice.elapsed() : kListPauseMs;
    m_listTimer.start(static_cast<int>(qMax<qint64>(0, kListPauseMs - since)));
}

void CScoutcamDlg::ListSlice() {
    QElapsedTimer slice;
    slice.start();
    bool more = true;
    while (more && !slice.hasExpired(kListSliceMs)) {
        RecordBatch batch;
        more = TakePending(kListBatch, batch);
        ListRecords(batch);
    }
    m_lastSlice.start();
    if (more) {
        m_listTimer.start(kListPauseMs);
    }
}

void CScoutcamDlg::ListAllPending() {
    bool more = true;
    while (more) {
        RecordBatch batch;
        more = TakePending(kListBatch, batch);
        ListRecords(batch);
    }
}

void CScoutcamDlg::ListRecords(const RecordBatch& batch) {
    std::vector<std::pair<int, const CDiscoveryBean*>> listed;
    for (const auto& pRecord : batch) {
        const int key = m_devices.Add(*pRecord);
        if (key >= 0) {
            listed.emplace_back(key, pRecord.get());
        }
    }
    if (listed.empty()) {
        return;
    }
    // All rows of the batch at once at the end of the list; the list is not sorted as they
    // come in, and lays itself out once.
    int row = m_list->rowCount();
    m_list->setRowCount(row + static_cast<int>(listed.size()));
    for (const auto& entry : listed) {
        WriteCells(row, *entry.second);
        m_list->item(row, 0)->setData(kKeyRole, entry.first);
        ++row;
    }
    m_total += static_cast<int>(listed.size());
    m_countLabel->setText(QString::number(m_total));
    m_list->setFocus(Qt::OtherFocusReason);
}

int CScoutcamDlg::KeyOfRow(int row) const {
    QTableWidgetItem* item = m_list->item(row, 0);
    return item ? item->data(kKeyRole).toInt() : -1;
}

void CScoutcamDlg::WriteCells(int row, const CDiscoveryBean& record) {
    for (int c = 0; c < kColumnCount; ++c) {
        const QString text = c == 0 ? QString::number(row) : Widen(GetDeviceCell(record, c - 1));
        QTableWidgetItem* item = m_list->item(row, c);
        if (item) {
            item->setText(text);
            continue;
        }
        // Filled before it goes in, so that the list hears of the cell once; a cell keeps no
        // alignment of its own where the list's default (left, centred vertically) is right.
        item = new QTableWidgetItem(text);
        if (kColumns[c].alignment != kDefaultCellAlignment) {
            item->setTextAlignment(kColumns[c].alignment);
        }
        m_list->setItem(row, c, item);
    }
}

void CScoutcamDlg::WriteRow(int row, const CDiscoveryBean& record) {
    WriteCells(row, record);
    m_devices.Replace(KeyOfRow(row), record);
}

void CScoutcamDlg::GetRecordOfRow(int row, CDiscoveryBean& record) const {
    const CDiscoveryBean* pStored = m_devices.Find(KeyOfRow(row));
    record = pStored ? *pStored : CDiscoveryBean();
    QTableWidgetItem* type = m_list->item(row, 2);
    QTableWidgetItem* ip = m_list->item(row, 1);
    record.m_hardware = Narrow(type ? type->text() : QString());
    record.m_ipAddr = Narrow(ip ? ip->text() : QString());
}

void CScoutcamDlg::reject() {
    m_devices.Clear();
    LOG_INFO("exit the program");
    QDialog::reject();
}

bool CScoutcamDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (menuEvent->reason() == QContextMenuEvent::Mouse) {
            OnListRightClick(menuEvent->pos(), menuEvent->globalPos());
        }
        return true;
    }
    if (watched == m_list && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse) {
        // Without a selected row the event goes on to the window, whose menu has the about box.
        return OnListMenuKey();
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->key() == Qt::Key_F10 && keyEvent->modifiers() == Qt::ShiftModifier) {
            // Shift+F10 does what the menu key does; Qt sends the context menu event for the
            // menu key only.
            const QPoint pos = m_list->viewport()->geometry().topLeft();
            QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, pos, m_list->mapToGlobal(pos));
            QCoreApplication::sendEvent(m_list, &menuEvent);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CScoutcamDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Outside the list, the window's menu offers the about box.
    QMenu menu(this);
    QAction* about = menu.addAction(LoadResString(IDS_ABOUTBOX));
    if (menu.exec(event->globalPos()) == about) {
        OpenAboutBox();
    }
}

void CScoutcamDlg::OpenAboutBox() {
    CAboutDlg dlg(this);
    dlg.exec();
}

void CScoutcamDlg::OnListRightClick(const QPoint& viewportPos, const QPoint& globalPos) {
    m_selectedRow = m_list->rowAt(viewportPos.y());
    if (m_selectedRow == -1) {
        return;
    }
    OpenDeviceMenu(m_selectedRow, globalPos);
}

bool CScoutcamDlg::OnListMenuKey() {
    const QList<QTableWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        return false;
    }
    m_selectedRow = selected.first()->row();
    // The menu opens below the row's address, as if the row had been clicked there.
    QTableWidgetItem* cell = m_list->item(m_selectedRow, 1);
    m_list->scrollToItem(cell);
    const QRect rect = m_list->visualItemRect(cell);
    OpenDeviceMenu(m_selectedRow, m_list->viewport()->mapToGlobal(rect.bottomLeft()));
    return true;
}

void CScoutcamDlg::OpenDeviceMenu(int row, const QPoint& globalPos) {
    m_list->selectRow(row);
    QMenu menu(this);
    menu.setTitle(QStringLiteral("Config"));
    menu.addAction(QStringLiteral("Edit Network Address"), this,
                   &CScoutcamDlg::OnEditNetworkAddress);
    menu.addAction(QStringLiteral("Restore Device Password"), this,
                   &CScoutcamDlg::OnRestorePassword);
    menu.addAction(QStringLiteral("Browse Web Page"), this, &CScoutcamDlg::OnBrowseWebPage);
    menu.exec(globalPos);
}

void CScoutcamDlg::OnEditNetworkAddress() {
    m_pendingCommand = CMD_EDIT_ADDRESS;
    RunDeviceCommand();
}

void CScoutcamDlg::OnRestorePassword() {
    m_pendingCommand = CMD_RESTORE_PASSWORD;
    RunDeviceCommand();
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
    CSetAddrDlg dlg(this);
    dlg.m_ip = IpTextToHost(record.m_ipAddr);
    const bool accepted = dlg.exec() == QDialog::Accepted;
    const CSecretText password = TakeSecret(&dlg.m_password, dlg.PasswordEdit());
    if (!accepted) {
        return;
    }
    const DeviceAddress newAddr = MakeDeviceAddress(dlg.m_ip, dlg.m_mask, dlg.m_gateway);
    DeviceRequest request;
    const int ret =
        MakeAddressRequest(m_pClient, CommandTarget(m_searchMode == SEARCH_EXACT, record), record,
                           password, newAddr, &request);
    if (ret != RESULT_OK) {
        ShowErrMsg(this, ret);
        return;
    }
    m_commandRow = m_selectedRow;
    m_commandRecord = record;
    m_commandNewIp = newAddr.m_ipAddr;
    StartRequest(request);
}

void CScoutcamDlg::RestorePassword() {
    CSerialDlg dlg(this);
    const bool accepted = dlg.exec() == QDialog::Accepted;
    CSecretText serialCode = TakeSecret(&dlg.m_serialCode, dlg.SerialEdit());
    if (!accepted) {
        return;
    }
    CDiscoveryBean record;
    GetRecordOfRow(m_selectedRow, record);
    LOG_INFO("start resume password");
    m_commandRow = -1;
    StartRequest(MakePasswordRequest(m_pClient, CommandTarget(m_searchMode == SEARCH_EXACT, record),
                                     record, std::move(serialCode)));
}

void CScoutcamDlg::StartRequest(DeviceRequest request) {
    ShowWait(this, LoadResString(IDS_BEING_MODIFIED));
    // The worker sees only its own copies; the result comes back as a queued call.
    m_worker = std::thread([this, request]() {
        int result = request();
        QMetaObject::invokeMethod(
            this, [this, result]() { OnCommandDone(result); }, Qt::QueuedConnection);
    });
}

void CScoutcamDlg::OnCommandDone(int result) {
    m_worker.join();
    CloseWait();
    if (result == RESULT_OK && m_pendingCommand == CMD_EDIT_ADDRESS && m_commandRow >= 0) {
        m_commandRecord.m_ipAddr = m_commandNewIp;
        WriteRow(m_commandRow, m_commandRecord);
        m_list->viewport()->update();
    }
    ShowErrMsg(this, result);
    emit CommandFinished(result);
}

void CScoutcamDlg::OnBrowseWebPage() {
    CDiscoveryBean record;
    GetRecordOfRow(m_selectedRow, record);
    OpenWebPage(this, QStringLiteral("http://%1").arg(Widen(record.m_ipAddr)));
}
