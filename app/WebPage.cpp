#include "WebPage.h"

#include "ErrMsg.h"
#include "common/common_log.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

bool OpenWebPage(QWidget* parent, const QString& url) {
    if (QDesktopServices::openUrl(QUrl(url))) {
        return true;
    }
    const std::string text = url.toStdString();
    LOG_ERROR("open web page(%s) failed", text.c_str());
    ShowMessage(parent, QString::fromStdString(FormatResText(IDS_BROWSER_FAILED, text)));
    return false;
}
