// A progress box with an "Abbrechen" button for the duplicate scans. It is
// application-modal while the scan runs, so nothing changes the catalogue
// meanwhile; the scan's callback lets window messages run every ~25 ms.
#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>

#include <memory>

#include "duplicates/core/duplicates.h"

namespace qv {

class CancellableScan {
  public:
    CancellableScan(QWidget* parent, const QString& text);
    ~CancellableScan();
    CancellableScan(const CancellableScan&) = delete;
    CancellableScan& operator=(const CancellableScan&) = delete;

    // The callback for the scan: false once the user pressed "Abbrechen".
    ScanProgress callback();
    bool cancelled() const;

  private:
    std::unique_ptr<QProgressDialog> m_box;
    QElapsedTimer m_clock;
    bool m_cancelled = false;
};

}  // namespace qv
