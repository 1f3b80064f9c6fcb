// Helpers for tests that drive windows: acting on modal windows as they
// appear, waiting for events to settle.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace qvtest {

// Acts on the next modal window of type W as soon as it is visible. A 10 ms
// poller waits for it; after `timeoutMs` every modal window is rejected so
// that the test fails instead of hanging.
template <class W>
void whenModal(std::function<void(W*)> act, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* w = qobject_cast<W*>(modal); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
            ADD_FAILURE() << "the expected modal window did not appear";
        }
    });
    timer->start();
}

}  // namespace qvtest
