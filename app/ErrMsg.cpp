#include "ErrMsg.h"

#include <QCoreApplication>
#include <QMessageBox>

QString LoadResString(int id) {
    return QString::fromUtf8(LoadResText(id));
}

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void ShowErrMsg(QWidget* parent, int code) {
    ShowMessage(parent, QString::fromUtf8(GetErrMsg(code)));
}
