#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// "Serial Code": the code with which a device's password is restored; any text is accepted.
class CSerialDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSerialDlg(QWidget* parent = nullptr);

    QString m_serialCode;

    void accept() override;

    QLineEdit* SerialEdit() const { return m_serialEdit; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_serialEdit;
    bool m_initialised = false;
};
