#include "IpAddressCtrl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

// One field: up to three digits with a value of at most 255.
class CFieldValidator : public QValidator {
public:
    explicit CFieldValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int&) const override {
        if (input.size() > 3) {
            return Invalid;
        }
        for (QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return Invalid;
            }
        }
        if (!input.isEmpty() && input.toInt() > 255) {
            return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kFields; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
        QLineEdit* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(new CFieldValidator(field));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i]() { OnTextEdited(i); });
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
    setFocusPolicy(Qt::StrongFocus);
}

void CIpAddressCtrl::SetAddress(uint32_t address) {
    for (int i = 0; i < kFields; ++i) {
        uint32_t value = (address >> (8 * (kFields - 1 - i))) & 0xFFu;
        m_fields[i]->setText(QString::number(value));
    }
}

uint32_t CIpAddressCtrl::GetAddress() const {
    uint32_t address = 0;
    for (int i = 0; i < kFields; ++i) {
        address = (address << 8) | static_cast<uint32_t>(FieldValue(i));
    }
    return address;
}

void CIpAddressCtrl::ClearAddress() {
    for (QLineEdit* field : m_fields) {
        field->clear();
    }
}

int CIpAddressCtrl::FieldIndex(QObject* object) const {
    for (int i = 0; i < kFields; ++i) {
        if (m_fields[i] == object) {
            return i;
        }
    }
    return -1;
}

int CIpAddressCtrl::FieldValue(int field) const {
    return m_fields[field]->text().toInt();
}

void CIpAddressCtrl::MoveTo(int field, bool selectAll) {
    QLineEdit* edit = m_fields[field];
    edit->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        edit->selectAll();
    } else {
        edit->deselect();
        edit->end(false);
    }
}

void CIpAddressCtrl::OnTextEdited(int field) {
    emit FieldChanged(field, FieldValue(field));
    QLineEdit* edit = m_fields[field];
    if (edit->text().size() == 3 && edit->cursorPosition() == 3 && field + 1 < kFields) {
        MoveTo(field + 1, true);
    }
}

bool CIpAddressCtrl::HandleKey(int field, QKeyEvent* event) {
    QLineEdit* edit = m_fields[field];
    const QString text = event->text();
    if (text == QLatin1String(".") || text == QLatin1String(" ")) {
        // Moving on from an empty field does nothing, as a dot typed there has no meaning.
        if (field + 1 < kFields && !edit->text().isEmpty()) {
            MoveTo(field + 1, true);
        }
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        if (field > 0 && edit->cursorPosition() == 0 && !edit->hasSelectedText()) {
            MoveTo(field - 1, false);
            m_fields[field - 1]->backspace();
            emit FieldChanged(field - 1, FieldValue(field - 1));
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (field > 0 && edit->cursorPosition() == 0 && event->modifiers() == Qt::NoModifier) {
            MoveTo(field - 1, false);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (field + 1 < kFields && edit->cursorPosition() == edit->text().size() &&
            event->modifiers() == Qt::NoModifier) {
            MoveTo(field + 1, false);
            m_fields[field + 1]->home(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    int field = FieldIndex(watched);
    if (field >= 0) {
        if (event->type() == QEvent::KeyPress && HandleKey(field, static_cast<QKeyEvent*>(event))) {
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            // Leaving the field counts; a message box or another window taking the focus
            // for a moment does not.
            Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                emit FieldChanged(field, FieldValue(field));
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}
