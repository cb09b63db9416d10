#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace apptest {

// Runs an action that opens a modal dialog and hands the dialog, once it is
// up, to a handler that must end it. A modal of another kind is rejected, so
// a fault shows as a failed expectation and never as a hung test.
template <typename Dialog>
bool RunWithModal(const std::function<void()>& action, const std::function<void(Dialog*)>& handler,
                  int boundMs = 20000) {
    bool seen = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal); dialog && dialog->isVisible()) {
            seen = true;
            poll.stop();
            handler(dialog);
        } else if (auto* other = qobject_cast<QDialog*>(modal)) {
            other->reject();
        } else if (clock.elapsed() > boundMs) {
            poll.stop();
        }
    });
    poll.start();
    action();
    poll.stop();
    return seen;
}

}  // namespace apptest
