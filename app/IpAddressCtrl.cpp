#include "IpAddressCtrl.h"

#include "front/front_address.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QValidator>
#include <memory>

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

bool IsModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
           key == Qt::Key_AltGr || key == Qt::Key_Meta;
}

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

void CIpAddressCtrl::SetFieldFocus(int field) {
    MoveTo(field, true);
}

void CIpAddressCtrl::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    for (int i = 0; i < kFields; ++i) {
        m_fields[i]->setAccessibleName(name);
        m_fields[i]->setAccessibleDescription(
            QStringLiteral("Field %1 of %2").arg(i + 1).arg(kFields));
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
        m_autoMovedTo = field + 1;
    }
}

void CIpAddressCtrl::OnFieldLeft(int field) {
    // What the field shows is the value it gives: "010" becomes "10".
    QLineEdit* edit = m_fields[field];
    const QString shown = QString::number(FieldValue(field));
    if (!edit->text().isEmpty() && edit->text() != shown) {
        edit->setText(shown);
    }
    emit FieldChanged(field, FieldValue(field));
}

void CIpAddressCtrl::Paste(int field, const QString& text) {
    uint32_t address = 0;
    if (!ParseIpv4(text.trimmed().toStdString(), &address)) {
        m_fields[field]->insert(text);
        return;
    }
    QString before[kFields];
    for (int i = 0; i < kFields; ++i) {
        before[i] = m_fields[i]->text();
    }
    SetAddress(address);
    MoveTo(kFields - 1, false);
    for (int i = 0; i < kFields; ++i) {
        if (m_fields[i]->text() != before[i]) {
            emit FieldChanged(i, FieldValue(i));
        }
    }
}

void CIpAddressCtrl::ShowContextMenu(int field, const QPoint& globalPos) {
    // The field's own menu, whose Paste takes a whole address as Ctrl+V does. Its actions
    // have no names; Paste is known by the text that the line edit gives it.
    std::unique_ptr<QMenu> menu(m_fields[field]->createStandardContextMenu());
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(pasteText)) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this,
                    [this, field]() { Paste(field, QGuiApplication::clipboard()->text()); });
        }
    }
    menu->exec(globalPos);
}

bool CIpAddressCtrl::HandleKey(int field, QKeyEvent* event, bool arrivedByAutoMove) {
    QLineEdit* edit = m_fields[field];
    if (event->matches(QKeySequence::Paste)) {
        Paste(field, QGuiApplication::clipboard()->text());
        return true;
    }
    const QString text = event->text();
    if (text == QLatin1String(".") || text == QLatin1String(" ")) {
        // A separator right after the automatic move belongs to the field just left; one in a
        // field without digits has no meaning.
        if (!arrivedByAutoMove && field + 1 < kFields && !edit->text().isEmpty()) {
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
    const int field = FieldIndex(watched);
    if (field < 0) {
        return QFrame::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (IsModifierKey(keyEvent->key())) {
            break;  // Shift on the way to a dot is no key of its own
        }
        const bool arrivedByAutoMove = m_autoMovedTo == field;
        m_autoMovedTo = -1;
        if (HandleKey(field, keyEvent, arrivedByAutoMove)) {
            return true;
        }
        break;
    }
    case QEvent::MouseButtonPress:
        m_autoMovedTo = -1;
        break;
    case QEvent::MouseButtonRelease: {
        // The middle button pastes the X11 selection, which may hold a whole address.
        auto* mouseEvent = static_cast<QMouseEvent*>(event);
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (mouseEvent->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
            Paste(field, clipboard->text(QClipboard::Selection));
            return true;
        }
        break;
    }
    case QEvent::ContextMenu:
        ShowContextMenu(field, static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::FocusOut: {
        if (m_autoMovedTo == field) {
            m_autoMovedTo = -1;
        }
        // Leaving the field counts; a message box or another window taking the focus for a
        // moment does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            OnFieldLeft(field);
        }
        break;
    }
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}
