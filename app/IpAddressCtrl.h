#pragma once

#include <QFrame>
#include <cstdint>

class QLineEdit;

// IPv4 address entry: four decimal fields separated by dots. Digits go into the current field;
// a dot, a blank, Tab or a third digit moves on to the next field; Backspace at the start of a
// field goes back into the previous one; a value above 255 is refused. Addresses are 32-bit
// values in host order, the first field in the most significant byte; a blank field reads 0.
class CIpAddressCtrl : public QFrame {
    Q_OBJECT
public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    // Shows the address in all four fields; sends no notification.
    void SetAddress(uint32_t address);
    uint32_t GetAddress() const;
    // Empties all four fields.
    void ClearAddress();

    static const int kFields = 4;

signals:
    // The user changed a field, or left one for another field or another control.
    void FieldChanged(int field, int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int FieldIndex(QObject* object) const;
    int FieldValue(int field) const;
    bool HandleKey(int field, class QKeyEvent* event);
    void MoveTo(int field, bool selectAll);
    void OnTextEdited(int field);

    QLineEdit* m_fields[kFields];
};
