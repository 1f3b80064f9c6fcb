#include "duplicates/ui/scanprogress.h"

#include <QCoreApplication>

namespace qv {

CancellableScan::CancellableScan(QWidget* parent, const QString& text)
    : m_box(std::make_unique<QProgressDialog>(text, QStringLiteral("Abbrechen"), 0, 1000, parent)) {
    m_box->setObjectName(QStringLiteral("ScanProgress"));
    m_box->setWindowTitle(QStringLiteral("Bitte warten"));
    m_box->setWindowModality(Qt::ApplicationModal);
    m_box->setAutoClose(false);
    m_box->setAutoReset(false);
    m_box->setMinimumDuration(300);
    m_box->setValue(0);
    m_clock.start();
}

CancellableScan::~CancellableScan() {
    m_box->hide();
}

ScanProgress CancellableScan::callback() {
    return [this](int permille) {
        if (m_clock.elapsed() >= 25 || permille >= 1000) {
            m_clock.restart();
            // A modal progress box lets window messages run here.
            m_box->setValue(permille);
            QCoreApplication::processEvents();
        }
        m_cancelled = m_cancelled || m_box->wasCanceled();
        return !m_cancelled;
    };
}

bool CancellableScan::cancelled() const {
    return m_cancelled || m_box->wasCanceled();
}

}  // namespace qv
