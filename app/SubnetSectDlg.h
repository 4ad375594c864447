#pragma once

#include <QDialog>
#include <cstdint>

class CIpAddressCtrl;

// "Network Segment": the first and last address of an exact search. The range is ordered and
// holds at most 257 addresses; OK saves it in the user's settings, where the next opening
// finds it.
class CSubnetSectDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSubnetSectDlg(QWidget* parent = nullptr);

    uint32_t m_beginIp = 0;
    uint32_t m_endIp = 0;

    void accept() override;

    CIpAddressCtrl* BeginCtrl() const { return m_beginCtrl; }
    CIpAddressCtrl* EndCtrl() const { return m_endCtrl; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    CIpAddressCtrl* m_beginCtrl;
    CIpAddressCtrl* m_endCtrl;
    bool m_initialised = false;
};
