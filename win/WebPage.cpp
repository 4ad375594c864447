#include "WebPage.h"

#include "ErrMsg.h"
#include "common/common_log.h"
#include "front/front_strings.h"
#include "win_text.h"

#include <shellapi.h>

bool OpenWebPage(HWND owner, const std::wstring& url) {
    // ShellExecuteW tells success by a value above 32.
    const auto started = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (started > 32) {
        return true;
    }
    const std::string text = Narrow(url);
    LOG_ERROR("open web page(%s) failed(%d)", text.c_str(), static_cast<int>(started));
    ShowMessage(owner, Widen(FormatResText(IDS_BROWSER_FAILED, text)));
    return false;
}
