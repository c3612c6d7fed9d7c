#include "DialogKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace sonavel {

namespace {

bool Usable(const QAbstractButton* button) {
    return button != nullptr && button->isEnabled() && button->isVisible();
}

// Watches the window itself, so it sees only the keys its controls left
// alone: a key a control takes never travels up to its window.
class DialogKeys final : public QObject {
  public:
    DialogKeys(QWidget* window, std::function<void()> escape)
        : QObject(window), m_window(window), m_escape(std::move(escape)) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        // Enter on the keypad comes with the keypad modifier; any other
        // modifier makes it another key.
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                PressDefault();
                return true;
            case Qt::Key_Escape:
                if (m_escape) m_escape();
                return true;
            default:
                return false;
        }
    }

  private:
    void PressDefault() {
        // A push button with the focus is the one Return means, as in a
        // dialog; it lets the key through only when it is not the default.
        QAbstractButton* target = qobject_cast<QPushButton*>(m_window->focusWidget());
        if (target == nullptr) {
            for (QPushButton* button : m_window->findChildren<QPushButton*>()) {
                if (button->isDefault() && button->isVisible()) {
                    target = button;
                    break;
                }
            }
        }
        if (Usable(target)) target->click();
    }

    QWidget* m_window;
    std::function<void()> m_escape;
};

}  // namespace

void UseDialogKeys(QWidget* window, std::function<void()> escape) {
    new DialogKeys(window, std::move(escape));
}

void UseDialogKeys(QWidget* window, QAbstractButton* cancel) {
    UseDialogKeys(window, [button = QPointer<QAbstractButton>(cancel)] {
        if (Usable(button)) button->click();
    });
}

}  // namespace sonavel
