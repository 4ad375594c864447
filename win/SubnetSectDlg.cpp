#include "SubnetSectDlg.h"

#include "ErrMsg.h"
#include "IpAddressCtrl.h"
#include "Settings.h"
#include "common/common_log.h"
#include "front/front_address.h"
#include "resource.h"
#include "win_text.h"

CSubnetSectDlg::CSubnetSectDlg() : CDialog(IDD_SUBNET_SECT) {}

BOOL CSubnetSectDlg::OnInitDialog() {
    m_beginIp = ReadSetting(kBeginIpValue, 0);
    m_endIp = ReadSetting(kEndIpValue, 0);
    SetIpAddress(m_hWnd, IDC_BEGIN_IP, m_beginIp);
    SetIpAddress(m_hWnd, IDC_END_IP, m_endIp);
    SetFocus(Item(IDC_BEGIN_IP));
    return FALSE;  // the focus is set
}

void CSubnetSectDlg::OnOK() {
    m_beginIp = GetIpAddress(m_hWnd, IDC_BEGIN_IP);
    m_endIp = GetIpAddress(m_hWnd, IDC_END_IP);
    const int refusal = CheckRange(m_beginIp, m_endIp);
    if (refusal != 0) {
        ShowMessage(m_hWnd, LoadResString(refusal));
        return;
    }
    // A range that cannot be stored is still searched; the write logs its failure.
    WriteSetting(kBeginIpValue, m_beginIp);
    WriteSetting(kEndIpValue, m_endIp);
    LOG_INFO("save discovery ip address range");
    End(IDOK);
}
