// Renders the main window with a listed fleet and every dialog into PNG files.
//   camsim --list csv | scoutcam_screenshots FOLDER
// The fleet (camsim's list format: ip,model,name,serial,mac,version,...) comes from standard
// input; the window gets it through a client that sends nothing and answers every search with
// the whole fleet. Settings go to a temporary folder, never to the user's.

#include "AboutDlg.h"
#include "ErrMsg.h"
#include "IpAddressCtrl.h"
#include "ListCtrlEx.h"
#include "ScoutcamDlg.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "fake_client.h"
#include "front/front_address.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <vector>

namespace {

void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

uint32_t Host(const char* ip) {
    return IpTextToHost(ip);
}

class CShooter {
public:
    CShooter(QString dir, QWidget* main) : m_dir(std::move(dir)), m_main(main) {}

    // The main window with the given windows drawn over it where they stand.
    bool Shoot(const QString& name, const QList<QWidget*>& over = {}) {
        Pause(150);
        QImage image = m_main->grab().toImage();
        QPainter painter(&image);
        for (QWidget* w : over) {
            QPoint at = w->mapToGlobal(QPoint(0, 0)) - m_main->mapToGlobal(QPoint(0, 0));
            QPixmap shot = w->grab();
            painter.drawPixmap(at, shot);
            painter.setPen(QColor(90, 90, 90));
            painter.drawRect(QRect(at, shot.size()).adjusted(0, 0, -1, -1));
        }
        painter.end();
        return Save(name, image);
    }

    // One window alone.
    bool ShootAlone(const QString& name, QWidget* w) {
        Pause(150);
        return Save(name, w->grab().toImage());
    }

    bool ok = true;

private:
    bool Save(const QString& name, const QImage& image) {
        const QString path = m_dir + QLatin1Char('/') + name;
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
            ok = false;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    QString m_dir;
    QWidget* m_main;
};

QPushButton* Button(QWidget* parent, const QString& text) {
    for (QPushButton* b : parent->findChildren<QPushButton*>()) {
        if (QString(b->text()).remove(QLatin1Char('&')) == text) {
            return b;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: camsim --list csv | %s FOLDER\n", argv[0]);
        return 2;
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("scoutcam"));
    const QString dir = QString::fromLocal8Bit(argv[1]);

    CFakeClient client;
    client.SetFleet(ReadFleetCsv(std::cin));
    CScoutcamDlg dlg(&client);
    dlg.move(40, 40);
    dlg.show();
    CShooter shooter(dir, &dlg);
    shooter.Shoot(QStringLiteral("01-main-start.png"));

    // Auto Search: the wait window, then the list.
    QObject::connect(&dlg, &CScoutcamDlg::SearchFinished, &app, []() {});
    Button(&dlg, QStringLiteral("Auto Search"))->click();
    shooter.Shoot(QStringLiteral("02-searching.png"), {CurrentWait()});
    Pause(CScoutcamDlg::kSearchWindowMs + 300);
    shooter.Shoot(QStringLiteral("03-main-fleet.png"));

    // Sorted by type, with the sort mark.
    QHeaderView* header = dlg.List()->horizontalHeader();
    emit header->sectionClicked(2);
    shooter.Shoot(QStringLiteral("04-main-sorted-by-type.png"));
    emit header->sectionClicked(1);

    // The device menu on the third row.
    CListCtrlEx* list = dlg.List();
    QPoint pos = list->visualItemRect(list->item(2, 1)).center();
    QTimer::singleShot(400, [&]() {
        QWidget* menu = QApplication::activePopupWidget();
        if (menu) {
            shooter.Shoot(QStringLiteral("05-device-menu.png"), {menu});
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);

    {
        CSubnetSectDlg range(&dlg);
        range.show();
        range.BeginCtrl()->SetAddress(Host("198.19.0.10"));
        range.EndCtrl()->SetAddress(Host("198.19.0.15"));
        shooter.Shoot(QStringLiteral("06-network-segment.png"), {&range});
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        LoadResString(IDS_RANGE_SIZE), QMessageBox::Ok, &range);
        box.show();
        shooter.Shoot(QStringLiteral("07-network-segment-refused.png"), {&range, &box});
    }
    CDiscoveryBean record;
    dlg.GetRecordOfRow(2, record);
    {
        CSetAddrDlg edit(&dlg);
        edit.m_ip = IpTextToHost(record.m_ipAddr);
        edit.m_mask = DefaultMaskOf(edit.m_ip);
        edit.show();
        edit.PasswordEdit()->setText(QStringLiteral("password"));
        shooter.Shoot(QStringLiteral("08-edit-network-address.png"), {&edit});
        edit.GatewayCtrl()->SetAddress(Host("192.168.7.1"));
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        LoadResString(IDS_INVALID_GATEWAY), QMessageBox::Ok, &edit);
        box.show();
        shooter.Shoot(QStringLiteral("09-edit-network-address-refused.png"), {&edit, &box});
    }
    {
        CSerialDlg serial(&dlg);
        serial.show();
        serial.SerialEdit()->setText(QStringLiteral("6CE30E6ACF25"));
        shooter.Shoot(QStringLiteral("10-serial-code.png"), {&serial});
    }
    ShowWait(&dlg, LoadResString(IDS_BEING_MODIFIED));
    shooter.Shoot(QStringLiteral("11-being-modified.png"), {CurrentWait()});
    CloseWait();
    for (int code : {0, 11004}) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        LoadResString(GetErrMsgId(code)), QMessageBox::Ok, &dlg);
        box.show();
        shooter.Shoot(QStringLiteral("%1-result-%2.png").arg(code == 0 ? 12 : 13).arg(code),
                      {&box});
    }
    {
        CAboutDlg about(&dlg);
        about.show();
        emit about.VersionLabel()->DoubleClicked();
        shooter.Shoot(QStringLiteral("14-about.png"), {&about});
    }
    return shooter.ok ? 0 : 1;
}
