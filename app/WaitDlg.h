#pragma once

#include <QDialog>
#include <QString>

class QLabel;

// Borderless window with one centred line, shown while a search runs or a device request
// waits for its answer. It blocks input to the program's other windows; the user cannot
// dismiss it (Enter, Esc and close requests are ignored). Only CloseWait ends it.
class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWaitDlg(const QString& text, QWidget* owner);

    QString Text() const;
    // Closes the window; the only way it closes.
    void Finish();

    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label;
    bool m_finishing = false;
};

// Shows the wait window with the text, modal over owner (or over the whole program when
// owner is null), and returns at once. Called on the GUI thread, paired with CloseWait.
void ShowWait(QWidget* owner, const QString& text);

// Closes the wait window that ShowWait showed; does nothing when none is shown.
void CloseWait();

// The wait window now shown, or null.
CWaitDlg* CurrentWait();
