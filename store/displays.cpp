#include "store/displays.h"

#include <QCoreApplication>

#include <chrono>

namespace qv {

void letMessagesRun() {
    QCoreApplication::processEvents();
}

namespace {
long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
constexpr long long kEventIntervalMs = 25;
}  // namespace

ScopedProgress::ScopedProgress(ProgressDisplay& display) : m_display(display) {
    m_display.showProgress();
    letMessagesRun();
    restartClock();
}

ScopedProgress::~ScopedProgress() {
    try {
        m_display.closeProgress();
        letMessagesRun();
    } catch (...) {
    }
}

void ScopedProgress::phase(const QString& line1, const QString& line2) {
    m_display.setLine1(line1);
    m_display.setLine2(line2);
    letMessagesRun();
    restartClock();
}

void ScopedProgress::detail(const QString& line2) {
    m_display.setLine2(line2);
    if (due()) {
        letMessagesRun();
        restartClock();
    }
}

bool ScopedProgress::due() const {
    return nowMs() - m_last >= kEventIntervalMs;
}

void ScopedProgress::restartClock() {
    m_last = nowMs();
}

}  // namespace qv
