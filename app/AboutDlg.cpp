#include "AboutDlg.h"

#include "DlgUnits.h"
#include "ErrMsg.h"
#include "ImageStatic.h"
#include "WebPage.h"
#include "common/common_charset.h"
#include "front/front_about.h"

#include <QIcon>
#include <QPushButton>

void CClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    emit DoubleClicked();
}

QString BuildStamp() {
    return QString::fromStdString(BuildStampText());
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    InitAppResources();
    setWindowTitle(QStringLiteral("About Scoutcam"));
    setFont(DialogFont(9));
    CDlgUnits du(font());
    setFixedSize(du.X(239), du.Y(91));

    auto* icon = new QLabel(this);
    QRect iconRect = du.Rect(14, 14, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(QIcon(QStringLiteral(":/res/scoutcam.png"))
                        .pixmap(qMin(iconRect.width(), iconRect.height())));

    auto* product = new QLabel(QStringLiteral("Korvane Scoutcam (En)"), this);
    product->setTextFormat(Qt::PlainText);
    product->setGeometry(du.Rect(42, 14, 140, 8));
    auto* versionLabel = new QLabel(QStringLiteral("Version:"), this);
    versionLabel->setGeometry(du.Rect(42, 28, 28, 8));

    m_version = new CClickLabel(
        QString::fromStdU16String(ConvertToWString(CHARSET_ANSI, AboutVersionText().c_str())),
        this);
    m_version->setGeometry(du.Rect(71, 28, 136, 8));
    connect(m_version, &CClickLabel::DoubleClicked, this, &CAboutDlg::OnVersionDoubleClicked);

    m_build = new QLabel(this);
    m_build->setGeometry(du.Rect(42, 42, 177, 8));

    // The maker's notice, shown as a link to its home page.
    auto* link = new QPushButton(QStringLiteral("Copyright (C) Korvane"), this);
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); text-decoration: underline;"
                       " border: none; text-align: left; padding: 0; }"));
    link->setToolTip(LoadResString(IDS_HOMEPAGE_TIP));
    link->setFocusPolicy(Qt::TabFocus);
    QRect linkRect = du.Rect(7, 70, 144, 14);
    link->setGeometry(QRect(linkRect.topLeft(), link->sizeHint())
                          .translated(0, (linkRect.height() - link->sizeHint().height()) / 2));
    const QString url = LoadResString(IDS_HOMEPAGE_URL);
    connect(link, &QPushButton::clicked, this, [this, url]() { OpenWebPage(this, url); });

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(du.Rect(182, 70, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
    setTabOrder(link, ok);
    ok->setFocus(Qt::OtherFocusReason);
}

void CAboutDlg::OnVersionDoubleClicked() {
    m_build->setText(BuildStamp());
    m_build->show();
}
