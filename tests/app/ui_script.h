#pragma once

// Drives modal dialogs, message boxes and popup menus that the code under test opens with
// exec(): each step waits for its window to come up and acts on it, in order.

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

// The push button of parent whose text, without its mnemonic marker, is text, or null.
inline QPushButton* Button(QWidget* parent, const QString& text) {
    for (QPushButton* b : parent->findChildren<QPushButton*>()) {
        if (QString(b->text()).remove(QLatin1Char('&')) == text) {
            return b;
        }
    }
    return nullptr;
}

class CUiScript : public QObject {
public:
    // A step looks at the windows that are up; when its window is there it returns the action
    // to run on it, else an empty function.
    using Step = std::function<std::function<void()>()>;

    CUiScript() {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &CUiScript::Poll);
    }

    void Add(Step step) {
        m_steps.push_back(std::move(step));
        m_timer.start();
    }

    // Acts on the next modal window of type T (the wait window counts only when asked for).
    template <class T>
    void OnModal(std::function<void(T*)> action) {
        Add([action]() -> std::function<void()> {
            T* w = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!w || !w->isVisible()) {
                return {};
            }
            return [w, action]() {
                action(w);
            };
        });
    }

    // Records the text of the next message box and presses its OK button.
    void AnswerBox(QString* pText) {
        OnModal<QMessageBox>([pText](QMessageBox* box) {
            if (pText) {
                *pText = box->text();
            }
            box->button(QMessageBox::Ok)->click();
        });
    }

    // Chooses the item of the next popup menu; its texts go to pItems.
    void ChooseMenu(const QString& item, QStringList* pItems = nullptr) {
        Add([item, pItems]() -> std::function<void()> {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible()) {
                return {};
            }
            return [menu, item, pItems]() {
                QAction* chosen = nullptr;
                for (QAction* a : menu->actions()) {
                    if (pItems) {
                        pItems->append(a->text());
                    }
                    if (a->text() == item) {
                        chosen = a;
                    }
                }
                if (chosen) {
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(chosen).center());
                } else {
                    menu->close();
                }
            };
        });
    }

    // From now on a message box that no step waits for is answered and its text kept, so that
    // a test fails on its checks instead of hanging.
    void SweepUnexpectedBoxes(QStringList* pTexts) {
        m_pUnexpected = pTexts;
        m_timer.start();
    }

    bool Done() const { return m_steps.empty(); }

    // Waits until every step has acted.
    bool WaitDone(int timeoutMs = 15000) {
        return QTest::qWaitFor([this]() { return Done(); }, timeoutMs);
    }

private:
    void Poll() {
        if (m_steps.empty()) {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (m_pUnexpected && box && box->isVisible()) {
                m_pUnexpected->append(box->text());
                QTimer::singleShot(0, box, [box]() { box->button(QMessageBox::Ok)->click(); });
            } else if (!m_pUnexpected) {
                m_timer.stop();
            }
            return;
        }
        std::function<void()> action = m_steps.front()();
        if (!action) {
            return;
        }
        m_steps.pop_front();
        // Run outside the timer's slot: the action may open a window of its own with exec(),
        // and this timer must keep polling inside it.
        QTimer::singleShot(0, this, action);
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QStringList* m_pUnexpected = nullptr;
};

// Test programs keep their settings in a folder of their own, never in the user's.
#define SCOUTCAM_TEST_MAIN(TestClass)                                        \
    int main(int argc, char* argv[]) {                                       \
        QTemporaryDir home;                                                  \
        qputenv("HOME", home.path().toLocal8Bit());                          \
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit()); \
        QApplication app(argc, argv);                                        \
        QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));    \
        QCoreApplication::setApplicationName(QStringLiteral("scoutcam"));    \
        TestClass test;                                                      \
        return QTest::qExec(&test, argc, argv);                              \
    }
