#include "SetAddrDlg.h"

#include "DlgUnits.h"
#include "ErrMsg.h"
#include "IpAddressCtrl.h"
#include "front/front_address.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CSetAddrDlg::CSetAddrDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Edit Network Address"));
    setFont(DialogFont(8));
    CDlgUnits du(font());
    setFixedSize(du.X(316), du.Y(149));

    // Each label carries a mnemonic to its control and names it for assistive technology;
    // labels reach up to their fields, so that a wider font does not cut them off.
    auto label = [this, &du](const char* text, QRect rect, QWidget* control) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setGeometry(rect);
        l->setBuddy(control);
        return LabelWords(l->text());
    };
    m_ipCtrl = new CIpAddressCtrl(this);
    m_ipCtrl->setGeometry(du.Rect(139, 28, 100, 15));
    m_ipCtrl->SetAccessibleName(label("&IP Address:", du.Rect(77, 30, 60, 8), m_ipCtrl));
    m_maskCtrl = new CIpAddressCtrl(this);
    m_maskCtrl->setGeometry(du.Rect(139, 45, 100, 15));
    m_maskCtrl->SetAccessibleName(label("Subnet &Mask:", du.Rect(77, 47, 60, 8), m_maskCtrl));
    m_gatewayCtrl = new CIpAddressCtrl(this);
    m_gatewayCtrl->setGeometry(du.Rect(139, 62, 100, 15));
    m_gatewayCtrl->SetAccessibleName(
        label("Default &Gateway:", du.Rect(77, 64, 60, 8), m_gatewayCtrl));
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_passwordEdit->setMaxLength(127);  // the most the scrambler takes
    m_passwordEdit->setGeometry(du.Rect(139, 79, 100, 15));
    m_passwordEdit->setAccessibleName(
        label("Admin &Password:", du.Rect(77, 81, 60, 8), m_passwordEdit));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(du.Rect(205, 128, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setGeometry(du.Rect(259, 128, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CSetAddrDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSetAddrDlg::reject);

    setTabOrder(m_ipCtrl, m_maskCtrl);
    setTabOrder(m_maskCtrl, m_gatewayCtrl);
    setTabOrder(m_gatewayCtrl, m_passwordEdit);
    setTabOrder(m_passwordEdit, ok);
    setTabOrder(ok, cancel);

    connect(m_ipCtrl, &CIpAddressCtrl::FieldChanged, this, &CSetAddrDlg::OnIpFieldChanged);
}

void CSetAddrDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_ip = m_ipCtrl->GetAddress();
        m_mask = m_maskCtrl->GetAddress();
        m_gateway = m_gatewayCtrl->GetAddress();
        m_password = m_passwordEdit->text();
    } else {
        m_ipCtrl->SetAddress(m_ip);
        m_maskCtrl->SetAddress(m_mask);
        m_gatewayCtrl->SetAddress(m_gateway);
        m_passwordEdit->setText(m_password);
    }
}

void CSetAddrDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        UpdateData(false);
        m_ipCtrl->SetFieldFocus(0);
    }
    QDialog::showEvent(event);
}

void CSetAddrDlg::OnIpFieldChanged() {
    // Only the mask follows the address; the other controls keep what is being typed.
    UpdateData(true);
    m_mask = DefaultMaskOf(m_ip);
    m_maskCtrl->SetAddress(m_mask);
}

void CSetAddrDlg::accept() {
    UpdateData(true);
    const int refusal = CheckNewAddress(m_ip, m_mask, m_gateway);
    if (refusal != 0) {
        ShowMessage(this, LoadResString(refusal));
        return;
    }
    QDialog::accept();
}
