#include "volumes/ui/volumepanel.h"

#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace qv {

namespace {

const QColor kNavy(0, 0, 128);

}  // namespace

VolumePanel::VolumePanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("PanelDatentraeger"));
    auto* outer = new QVBoxLayout(this);
    m_lastRead = new QLabel(this);
    m_lastRead->setObjectName(QStringLiteral("lbZuletztEingelesen"));
    m_lastRead->setTextFormat(Qt::PlainText);
    QFont bold = m_lastRead->font();
    bold.setBold(true);
    m_lastRead->setFont(bold);
    outer->addWidget(m_lastRead);
    auto* form = new QFormLayout;
    form->setHorizontalSpacing(12);
    const std::pair<const char*, const char*> rows[] = {
        {"label", "Datenträgername:"},  {"uuid", "Kennung (UUID):"},
        {"filesystem", "Dateisystem:"}, {"model", "Gerät:"},
        {"total", "Gesamtgröße:"},      {"free", "Frei:"},
        {"files", "Dateien:"},          {"bytes", "Größe der Dateien:"}};
    for (const auto& [key, caption] : rows) {
        auto* c = new QLabel(QString::fromUtf8(caption), this);
        QPalette p = c->palette();
        p.setColor(QPalette::WindowText, kNavy);
        c->setPalette(p);
        auto* v = new QLabel(this);
        v->setObjectName(QStringLiteral("lbVol_%1").arg(QLatin1String(key)));
        v->setTextFormat(Qt::PlainText);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(c, v);
        m_values.append({QLatin1String(key), v});
    }
    outer->addLayout(form);
    outer->addStretch(1);
}

QLabel* VolumePanel::value(const QString& key) const {
    for (const auto& [k, label] : m_values)
        if (k == key) return label;
    return nullptr;
}

void VolumePanel::showFacts(const std::optional<VolumeFacts>& facts) {
    if (!facts) {
        m_lastRead->setText(
            QStringLiteral("Zu diesem Eintrag sind keine Datenträgerdaten gespeichert."));
        for (const auto& [k, label] : m_values)
            label->clear();
        return;
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    m_lastRead->setText(lastReadText(facts->readAt));
    auto orDash = [](const QString& s) { return s.isEmpty() ? QStringLiteral("–") : s; };
    value(QStringLiteral("label"))->setText(orDash(facts->label));
    value(QStringLiteral("uuid"))->setText(orDash(facts->uuid));
    value(QStringLiteral("filesystem"))->setText(orDash(facts->fileSystem));
    value(QStringLiteral("model"))->setText(orDash(facts->model));
    value(QStringLiteral("total"))->setText(byteText(facts->totalBytes));
    value(QStringLiteral("free"))->setText(byteText(facts->freeBytes));
    value(QStringLiteral("files"))->setText(german.toString(facts->files));
    value(QStringLiteral("bytes"))->setText(byteText(facts->fileBytes));
}

}  // namespace qv
