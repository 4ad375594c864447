#pragma once

#include <QFrame>
#include <cstdint>

class QLineEdit;

// IPv4 address entry: four decimal fields separated by dots, typed as an address is written.
// Digits go into the current field; a third digit moves on to the next field. A dot or a
// blank moves on only from a field with digits, and not right after that automatic move (so
// "192.168.1.20" typed in one go fills the four fields). A value above 255 is refused.
// Backspace at the start of a field goes back to the end of the previous one and deletes its
// last digit; Left and Right cross the borders between fields. A whole dotted address pasted
// into any field fills all four. Addresses are 32-bit values in host order, the first field in
// the most significant byte; a blank field reads 0, and a field shows its value without
// leading zeros once the cursor leaves it.
class CIpAddressCtrl : public QFrame {
    Q_OBJECT
public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    // Shows the address in all four fields; sends no notification.
    void SetAddress(uint32_t address);
    uint32_t GetAddress() const;
    // Empties all four fields.
    void ClearAddress();
    // Puts the cursor into a field with its text selected, ready to be typed over.
    void SetFieldFocus(int field);
    // The name that assistive technology tells for the control and each of its fields.
    void SetAccessibleName(const QString& name);

    static const int kFields = 4;

signals:
    // The user changed a field, or left one for another field or another control.
    void FieldChanged(int field, int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int FieldIndex(QObject* object) const;
    int FieldValue(int field) const;
    bool HandleKey(int field, class QKeyEvent* event, bool arrivedByAutoMove);
    // Fills all four fields when the text is a whole dotted address; else inserts it into the
    // field, where only digits that keep the field a value of 0..255 are taken.
    void Paste(int field, const QString& text);
    void ShowContextMenu(int field, const QPoint& globalPos);
    void MoveTo(int field, bool selectAll);
    void OnTextEdited(int field);
    void OnFieldLeft(int field);

    QLineEdit* m_fields[kFields];
    // The field that the cursor has just reached by the move after a third digit, or -1.
    int m_autoMovedTo = -1;
};
