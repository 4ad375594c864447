#include "WaitDlg.h"

#include "DlgUnits.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>

namespace {
// At most one wait window is up at a time. The pointer empties itself when the window is
// destroyed, so a stray or second CloseWait finds nothing to touch.
QPointer<CWaitDlg> g_pWaitDlg;
}  // namespace

CWaitDlg::CWaitDlg(const QString& text, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setFont(DialogFont(8));
    CDlgUnits du(font());
    setFixedSize(du.X(335), du.Y(41));
    m_label = new QLabel(text, this);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setGeometry(du.Rect(33, 17, 270, 8));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
}

QString CWaitDlg::Text() const {
    return m_label->text();
}

void CWaitDlg::Finish() {
    m_finishing = true;
    QDialog::done(QDialog::Accepted);
}

void CWaitDlg::accept() {}

void CWaitDlg::reject() {}

void CWaitDlg::closeEvent(QCloseEvent* event) {
    if (!m_finishing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ShowWait(QWidget* owner, const QString& text) {
    CloseWait();
    g_pWaitDlg = new CWaitDlg(text, owner);
    g_pWaitDlg->show();
}

void CloseWait() {
    if (g_pWaitDlg) {
        CWaitDlg* dlg = g_pWaitDlg;
        g_pWaitDlg = nullptr;
        dlg->Finish();
    }
}

CWaitDlg* CurrentWait() {
    return g_pWaitDlg;
}
