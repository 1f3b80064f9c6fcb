// The lower panel's tab "Datenträgerdaten": what was seen of the current
// entry's carrier at its last reading.
#pragma once

#include <QFrame>

#include <optional>

#include "volumes/core/volumefacts.h"

class QLabel;

namespace qv {

// Object `PanelDatentraeger`.
class VolumePanel : public QFrame {
    Q_OBJECT

  public:
    explicit VolumePanel(QWidget* parent = nullptr);

    // Shows `facts`, or that none are stored.
    void showFacts(const std::optional<VolumeFacts>& facts);

    // The value label of a row by its key (label, uuid, filesystem, model,
    // total, free, files, bytes), and the line of the last reading.
    QLabel* value(const QString& key) const;
    QLabel* lastRead() const { return m_lastRead; }

  private:
    QLabel* m_lastRead = nullptr;
    QList<QPair<QString, QLabel*>> m_values;
};

}  // namespace qv
