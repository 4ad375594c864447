// The window's dialogs under Wine: their templates, checks, texts and the saved range.

#include "AboutDlg.h"
#include "Dialog.h"
#include "ImageStatic.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "Settings.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "front/front_about.h"
#include "front/front_strings.h"
#include "resource.h"
#include "win_driver.h"
#include "win_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

class WinDialogs : public CWinTest {};

std::wstring ClassName(HWND hWnd) {
    wchar_t name[64] = {};
    GetClassNameW(hWnd, name, 64);
    return name;
}

TEST_F(WinDialogs, TemplatesHoldTheirControlsWithTheirClassesAndTexts) {
    struct Case {
        int dialog;
        int control;
        const wchar_t* pClass;
        const wchar_t* pText;  // null: not checked
    };
    const Case cases[] = {
        {IDD_SCOUTCAM_DIALOG, IDC_DEVICE_LIST, L"SysListView32", nullptr},
        {IDD_SCOUTCAM_DIALOG, IDC_AUTO_SEARCH, L"Button", L"&Auto Search"},
        {IDD_SCOUTCAM_DIALOG, IDC_EXACT_SEARCH, L"Button", L"&Exact Search..."},
        {IDD_SCOUTCAM_DIALOG, IDCANCEL, L"Button", L"&Quit"},
        {IDD_SCOUTCAM_DIALOG, IDC_TOTAL_LABEL, L"Static", L"Total:"},
        {IDD_SCOUTCAM_DIALOG, IDC_LOGO, L"Static", nullptr},
        {IDD_SUBNET_SECT, IDC_BEGIN_IP, L"SysIPAddress32", nullptr},
        {IDD_SUBNET_SECT, IDC_END_IP, L"SysIPAddress32", nullptr},
        {IDD_SET_ADDR, IDC_IP, L"SysIPAddress32", nullptr},
        {IDD_SET_ADDR, IDC_MASK, L"SysIPAddress32", nullptr},
        {IDD_SET_ADDR, IDC_GATEWAY, L"SysIPAddress32", nullptr},
        {IDD_SET_ADDR, IDC_PASSWORD, L"Edit", L""},
        {IDD_SERIAL, IDC_SERIAL_CODE, L"Edit", L""},
        {IDD_WAIT, IDC_WAIT_TEXT, L"Static", L""},
        {IDD_ABOUTBOX, IDC_LINK, L"SysLink", nullptr},
        {IDD_ABOUTBOX, IDC_VERSION, L"Static", L"1.0.0(D001)"},
        {IDD_ABOUTBOX, IDOK, L"Button", L"OK"},
    };
    for (const Case& c : cases) {
        CDialog dlg(c.dialog);
        HWND hWnd = dlg.Create(nullptr);
        ASSERT_NE(hWnd, nullptr) << c.dialog;
        HWND item = GetDlgItem(hWnd, c.control);
        ASSERT_NE(item, nullptr) << c.dialog << "/" << c.control;
        EXPECT_EQ(ClassName(item), c.pClass) << c.dialog << "/" << c.control;
        if (c.pText != nullptr) {
            EXPECT_EQ(TextOf(item), c.pText) << c.dialog << "/" << c.control;
        }
    }
    // The password is typed hidden.
    CDialog dlg(IDD_SET_ADDR);
    HWND hWnd = dlg.Create(nullptr);
    EXPECT_NE(GetWindowLongW(GetDlgItem(hWnd, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);
}

TEST_F(WinDialogs, EditNetworkAddressClosesOnlyWithConsistentAddresses) {
    struct Case {
        uint32_t ip;
        uint32_t mask;
        uint32_t gateway;
        int refusal;  // 0: closes with OK
    };
    const Case cases[] = {
        {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), 0, 0},
        {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), Ip(192, 168, 1, 1), 0},
        {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), Ip(192, 168, 2, 1), IDS_INVALID_GATEWAY},
        {Ip(192, 168, 1, 255), Ip(255, 255, 255, 0), 0, IDS_INVALID_HOST_IP},
        {Ip(192, 168, 1, 0), Ip(255, 255, 255, 0), 0, IDS_INVALID_HOST_IP},
        // The checks run in order: an invalid address and mask show the address's text only.
        {Ip(192, 168, 1, 255), Ip(255, 0, 255, 0), 0, IDS_INVALID_HOST_IP},
        {Ip(10, 1, 2, 3), Ip(255, 0, 255, 0), 0, IDS_INVALID_MASK},
        // Mask 0 passes, and then any host address passes as gateway.
        {Ip(10, 1, 2, 3), 0, Ip(11, 1, 1, 1), 0},
    };
    for (const Case& c : cases) {
        CSetAddrDlg dlg;
        HWND hWnd = dlg.Create(nullptr);
        ASSERT_NE(hWnd, nullptr);
        SetIp(hWnd, IDC_IP, c.ip);
        SetIp(hWnd, IDC_MASK, c.mask);
        SetIp(hWnd, IDC_GATEWAY, c.gateway);
        SetDlgItemTextW(hWnd, IDC_PASSWORD, L"pa55");
        // OK by Enter in the address: the address control loses the focus as the dialog ends.
        SetFocus(IpFields(hWnd, IDC_IP)[0]);
        CMessageBoxWatch box;
        SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        if (c.refusal != 0) {
            EXPECT_EQ(box.Text(), LoadResString(c.refusal)) << std::hex << c.ip;
            EXPECT_EQ(dlg.Result(), 0) << "the dialog stays open";
            continue;
        }
        EXPECT_FALSE(box.Seen()) << std::hex << c.ip;
        EXPECT_EQ(dlg.Result(), IDOK);
        EXPECT_EQ(dlg.m_ip, c.ip);
        EXPECT_EQ(dlg.m_mask, c.mask);
        EXPECT_EQ(dlg.m_gateway, c.gateway);
        EXPECT_EQ(dlg.m_password, L"pa55");
    }
}

TEST_F(WinDialogs, TypingAnAddressSetsTheMaskThatGoesWithIt) {
    struct Case {
        const wchar_t* pTyped;
        uint32_t mask;
    };
    const Case cases[] = {
        {L"10.1.2.3", Ip(255, 0, 0, 0)},
        {L"172.16.0.5", Ip(255, 255, 0, 0)},
        {L"127.0.0.5", Ip(255, 255, 0, 0)},
        {L"192.168.1.20", Ip(255, 255, 255, 0)},
    };
    for (const Case& c : cases) {
        CSetAddrDlg dlg;
        HWND hWnd = dlg.Create(nullptr);
        ShowWindow(hWnd, SW_SHOW);
        SetIp(hWnd, IDC_MASK, Ip(255, 255, 255, 252));
        std::vector<HWND> fields = IpFields(hWnd, IDC_IP);
        ASSERT_EQ(fields.size(), 4u);
        TypeText(fields[0], c.pTyped);
        SetFocus(GetDlgItem(hWnd, IDC_PASSWORD));  // leaving the last field
        EXPECT_EQ(GetIp(hWnd, IDC_MASK), c.mask) << c.pTyped;
    }
}

TEST_F(WinDialogs, SerialCodeTakesAnyTextEvenNone) {
    for (const wchar_t* pCode : {L"", L"KV-0001 x"}) {
        CSerialDlg dlg;
        HWND hWnd = dlg.Create(nullptr);
        SetDlgItemTextW(hWnd, IDC_SERIAL_CODE, pCode);
        SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(dlg.Result(), IDOK);
        EXPECT_EQ(dlg.m_serialCode, pCode);
    }
}

TEST_F(WinDialogs, NetworkSegmentChecksTheRangeAndKeepsTheLastOne) {
    const std::wstring key = L"Software\\Korvane\\" + AppName();
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    {
        // First use: 0.0.0.0 to 0.0.0.0, accepted as it is.
        CSubnetSectDlg dlg;
        HWND hWnd = dlg.Create(nullptr);
        EXPECT_EQ(GetIp(hWnd, IDC_BEGIN_IP), 0u);
        EXPECT_EQ(GetIp(hWnd, IDC_END_IP), 0u);
        SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(dlg.Result(), IDOK);
        EXPECT_EQ(ReadSetting(kBeginIpValue, 1), 0u);
    }
    struct Case {
        uint32_t begin;
        uint32_t end;
        int refusal;
    };
    const Case cases[] = {
        {Ip(192, 168, 1, 0), Ip(192, 168, 2, 0), 0},  // 257 addresses
        {Ip(192, 168, 1, 0), Ip(192, 168, 2, 1), IDS_RANGE_SIZE},
        {Ip(10, 0, 0, 9), Ip(10, 0, 0, 8), IDS_RANGE_ORDER},
        {Ip(10, 0, 0, 9), Ip(10, 0, 0, 9), 0},
        {Ip(192, 168, 1, 200), Ip(192, 168, 2, 10), 0},  // third fields differ
    };
    uint32_t savedBegin = 0;
    uint32_t savedEnd = 0;
    for (const Case& c : cases) {
        CSubnetSectDlg dlg;
        HWND hWnd = dlg.Create(nullptr);
        // The range saved last is shown.
        EXPECT_EQ(GetIp(hWnd, IDC_BEGIN_IP), savedBegin);
        EXPECT_EQ(GetIp(hWnd, IDC_END_IP), savedEnd);
        SetIp(hWnd, IDC_BEGIN_IP, c.begin);
        SetIp(hWnd, IDC_END_IP, c.end);
        CMessageBoxWatch box;
        SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        if (c.refusal != 0) {
            EXPECT_EQ(box.Text(), LoadResString(c.refusal)) << std::hex << c.begin;
            EXPECT_EQ(dlg.Result(), 0);
            continue;
        }
        EXPECT_FALSE(box.Seen());
        EXPECT_EQ(dlg.Result(), IDOK);
        EXPECT_EQ(dlg.m_beginIp, c.begin);
        EXPECT_EQ(dlg.m_endIp, c.end);
        savedBegin = c.begin;
        savedEnd = c.end;
        EXPECT_EQ(ReadSetting(kBeginIpValue, 0), c.begin);
        EXPECT_EQ(ReadSetting(kEndIpValue, 0), c.end);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(WinDialogs, AboutShowsTheVersionAndTheBuildOnADoubleClick) {
    CAboutDlg dlg;
    HWND hWnd = dlg.Create(nullptr);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(ItemText(hWnd, IDC_VERSION), L"1.0.2(D001SP02)");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hWnd, IDC_BUILD)));
    ShowWindow(hWnd, SW_SHOW);
    SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDC_VERSION, STN_DBLCLK),
                 reinterpret_cast<LPARAM>(GetDlgItem(hWnd, IDC_VERSION)));
    EXPECT_EQ(ItemText(hWnd, IDC_BUILD), Widen(BuildStampText()));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(hWnd, IDC_BUILD)));
}

TEST_F(WinDialogs, WaitWindowIgnoresEnterAndEscAndClosesOnCloseWait) {
    CDialog owner(IDD_SERIAL);
    HWND ownerWnd = owner.Create(nullptr);
    ShowWait(ownerWnd, L"Searching devices...");
    HWND wait = CurrentWait();
    ASSERT_NE(wait, nullptr);
    EXPECT_TRUE(IsWindowVisible(wait));
    EXPECT_EQ(ItemText(wait, IDC_WAIT_TEXT), L"Searching devices...");
    EXPECT_FALSE(IsWindowEnabled(ownerWnd)) << "the owner takes no input";
    PostClick(wait, IDOK);
    PostClick(wait, IDCANCEL);
    PostMessageW(wait, WM_CLOSE, 0, 0);
    PumpFor(100);
    EXPECT_TRUE(IsWindow(wait));
    CloseWait();
    EXPECT_FALSE(IsWindow(wait));
    EXPECT_EQ(CurrentWait(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(ownerWnd));
    CloseWait();  // a second one touches nothing
}

TEST(WinImage, PremultipliesEachColourByItsAlphaTruncated) {
    // Blue, green, red, alpha.
    std::vector<uint8_t> pixels = {255, 255, 255, 128, 10,  20,  30, 0,
                                   10,  20,  30,  255, 200, 100, 3,  1};
    PremultiplyAlpha(pixels.data(), 4);
    const std::vector<uint8_t> expected = {128, 128, 128, 128, 0, 0, 0, 0,
                                           10,  20,  30,  255, 0, 0, 0, 1};
    EXPECT_EQ(pixels, expected);
}

TEST_F(WinDialogs, LogoDecodesFromTheProgramsResources) {
    CImageStatic logo;
    ASSERT_TRUE(logo.LoadPNG(IDB_LOGO));
    EXPECT_EQ(logo.Width(), 79);
    EXPECT_EQ(logo.Height(), 20);
    EXPECT_FALSE(logo.LoadPNG(9999)) << "no such resource";
    EXPECT_FALSE(logo.Loaded());
}

}  // namespace
