#include "volumes/core/carriercounter.h"

#include <QThread>

#include <memory>

#include "volumes/core/volumeprovider.h"

namespace qv {

CarrierCounter::CarrierCounter(VolumeFactsProvider& provider, QObject* parent)
    : QObject(parent), m_provider(provider) {}

void CarrierCounter::start(const QString& mountPoint) {
    auto result = std::make_shared<CarrierCount>();
    VolumeFactsProvider* provider = &m_provider;
    QThread* thread =
        QThread::create([provider, mountPoint, result] { *result = provider->count(mountPoint); });
    connect(thread, &QThread::finished, this,
            [this, mountPoint, result] { emit counted(mountPoint, result->files, result->bytes); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::LowPriority);
}

}  // namespace qv
