#include "SerialDlg.h"

#include "DlgUnits.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CSerialDlg::CSerialDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Serial Code"));
    setFont(DialogFont(8));
    CDlgUnits du(font());
    setFixedSize(du.X(316), du.Y(89));

    auto* label = new QLabel(QStringLiteral("&Serial Code:"), this);
    label->setGeometry(du.Rect(51, 34, 44, 8));
    m_serialEdit = new QLineEdit(this);
    m_serialEdit->setGeometry(du.Rect(96, 32, 171, 14));
    label->setBuddy(m_serialEdit);
    m_serialEdit->setAccessibleName(LabelWords(label->text()));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(du.Rect(205, 68, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setGeometry(du.Rect(259, 68, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CSerialDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSerialDlg::reject);

    setTabOrder(m_serialEdit, ok);
    setTabOrder(ok, cancel);
}

void CSerialDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        m_serialEdit->setText(m_serialCode);
        m_serialEdit->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void CSerialDlg::accept() {
    m_serialCode = m_serialEdit->text();
    QDialog::accept();
}
