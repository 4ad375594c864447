#include "ErrMsg.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {
// Room that a window manager takes beside the title: the window's icon and its buttons.
const int kTitleBarExtra = 150;
}  // namespace

QString LoadResString(int id) {
    return QString::fromUtf8(LoadResText(id));
}

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, parent);
    // A short text makes a narrow box, whose title the window manager would cut short.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid) {
        const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle());
        grid->addItem(new QSpacerItem(titleWidth + kTitleBarExtra, 0, QSizePolicy::Minimum,
                                      QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}

void ShowErrMsg(QWidget* parent, int code) {
    ShowMessage(parent, QString::fromUtf8(GetErrMsg(code)));
}
