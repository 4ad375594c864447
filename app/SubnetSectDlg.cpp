#include "SubnetSectDlg.h"

#include "DlgUnits.h"
#include "ErrMsg.h"
#include "IpAddressCtrl.h"
#include "common/common_log.h"
#include "front/front_address.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace {
const char kSection[] = "Settings";
const char kBeginKey[] = "DiscoveryBeginIpAddr";
const char kEndKey[] = "DiscoveryEndIpAddr";
}  // namespace

CSubnetSectDlg::CSubnetSectDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Network Segment"));
    setFont(DialogFont(8));
    CDlgUnits du(font());
    setFixedSize(du.X(298), du.Y(94));

    m_beginCtrl = new CIpAddressCtrl(this);
    m_beginCtrl->setGeometry(du.Rect(42, 29, 100, 15));
    m_beginCtrl->SetAccessibleName(QStringLiteral("Start address"));
    auto* tilde = new QLabel(QStringLiteral("~"), this);
    tilde->setGeometry(du.Rect(145, 32, 8, 8));
    m_endCtrl = new CIpAddressCtrl(this);
    m_endCtrl->setGeometry(du.Rect(156, 29, 100, 15));
    m_endCtrl->SetAccessibleName(QStringLiteral("End address"));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(du.Rect(181, 73, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setGeometry(du.Rect(234, 73, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CSubnetSectDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSubnetSectDlg::reject);

    setTabOrder(m_beginCtrl, m_endCtrl);
    setTabOrder(m_endCtrl, ok);
    setTabOrder(ok, cancel);
}

void CSubnetSectDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        QSettings settings;
        settings.beginGroup(QLatin1String(kSection));
        m_beginIp = settings.value(QLatin1String(kBeginKey), 0u).toUInt();
        m_endIp = settings.value(QLatin1String(kEndKey), 0u).toUInt();
        settings.endGroup();
        m_beginCtrl->SetAddress(m_beginIp);
        m_endCtrl->SetAddress(m_endIp);
        m_beginCtrl->SetFieldFocus(0);
    }
    QDialog::showEvent(event);
}

void CSubnetSectDlg::accept() {
    m_beginIp = m_beginCtrl->GetAddress();
    m_endIp = m_endCtrl->GetAddress();
    const int refusal = CheckRange(m_beginIp, m_endIp);
    if (refusal != 0) {
        ShowMessage(this, LoadResString(refusal));
        return;
    }
    QSettings settings;
    settings.beginGroup(QLatin1String(kSection));
    settings.setValue(QLatin1String(kBeginKey), m_beginIp);
    settings.setValue(QLatin1String(kEndKey), m_endIp);
    settings.endGroup();
    settings.sync();
    LOG_INFO("save discovery ip address range");
    QDialog::accept();
}
