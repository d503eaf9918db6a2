// Answering modal windows in window tests: a handler runs once the next modal window
// (other than the one given) is up. The answer is the watch, which a test may cancel by
// deleting it once the window it waits for can no longer come.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace qm::test {

inline QPointer<QTimer> onNextModal(std::function<void(QWidget*)> handler, QWidget* notThis = nullptr,
                                    int timeoutMs = 20000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    // A window destroyed meanwhile is no longer excluded (another may take its address).
    QPointer<QWidget> excluded(notThis);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* w = QApplication::activeModalWidget();
        const bool found = w && w != excluded.data() && w->isVisible();
        if (!found && clock->elapsed() < timeoutMs) return;
        timer->stop();
        timer->deleteLater();
        if (found) handler(w);
    });
    timer->start(20);
    return timer;
}

}  // namespace qm::test
