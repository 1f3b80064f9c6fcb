// Counts a mounted carrier's files away from the program's thread, so that
// a large volume does not hold the windows up; the result comes back as a
// signal in the thread that started the count.
#pragma once

#include <QObject>
#include <QString>

#include "volumes/core/volumefacts.h"

namespace qv {

class VolumeFactsProvider;

class CarrierCounter : public QObject {
    Q_OBJECT

  public:
    // `provider` is not owned; its count() must be safe to call from
    // another thread.
    explicit CarrierCounter(VolumeFactsProvider& provider, QObject* parent = nullptr);
    // Starts counting `mountPoint`; counted() follows.
    void start(const QString& mountPoint);

  signals:
    void counted(const QString& mountPoint, qint64 files, qint64 bytes);

  private:
    VolumeFactsProvider& m_provider;
};

}  // namespace qv
