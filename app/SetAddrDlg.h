#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class CIpAddressCtrl;
class QLineEdit;

// "Edit Network Address": a device's new address, mask and gateway and its admin password.
// OK closes the dialog only when the three addresses are consistent.
class CSetAddrDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSetAddrDlg(QWidget* parent = nullptr);

    uint32_t m_ip = 0;
    uint32_t m_mask = 0;
    uint32_t m_gateway = 0;  // 0: no gateway
    QString m_password;

    // Moves the members into the controls (false) or the controls into the members (true).
    void UpdateData(bool saveAndValidate);

    void accept() override;

    CIpAddressCtrl* IpCtrl() const { return m_ipCtrl; }
    CIpAddressCtrl* MaskCtrl() const { return m_maskCtrl; }
    CIpAddressCtrl* GatewayCtrl() const { return m_gatewayCtrl; }
    QLineEdit* PasswordEdit() const { return m_passwordEdit; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnIpFieldChanged();

    CIpAddressCtrl* m_ipCtrl;
    CIpAddressCtrl* m_maskCtrl;
    CIpAddressCtrl* m_gatewayCtrl;
    QLineEdit* m_passwordEdit;
    bool m_initialised = false;
};
