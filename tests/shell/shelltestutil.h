// Helpers for the shell tests: driving modal windows and watching files.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/testutil.h"

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

// Bytes and modification time of a file, to prove it was not touched.
struct FileSnapshot {
    std::vector<std::uint8_t> bytes;
    std::filesystem::file_time_type mtime;

    static FileSnapshot of(const std::filesystem::path& p) {
        return {readFile(p), std::filesystem::last_write_time(p)};
    }
    bool operator==(const FileSnapshot& o) const { return bytes == o.bytes && mtime == o.mtime; }
};

// Sets a file's modification time well into the past, so that any rewrite
// shows in its time stamp.
inline void ageFile(const std::filesystem::path& p) {
    std::filesystem::last_write_time(
        p, std::filesystem::last_write_time(p) - std::chrono::hours(24 * 365));
}

inline std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace qvtest
