#include "output/print/entryreport.h"

#include "store/displays.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace qv {

void MessageThrottle::tick() {
    if (m_timer.isValid() && m_timer.elapsed() < 25) return;
    flush();
}

void MessageThrottle::flush() {
    letMessagesRun();
    m_timer.start();
}

}  // namespace qv

TEntryReport::TEntryReport(TTable& entryTable, qv::ProgressDisplay& progress)
    : m_table(entryTable),
      m_progress(progress),
      m_throttle(std::make_unique<qv::MessageThrottle>()) {
    DataSource1 = new TDataSource(&entryTable);
    Apollo1 = new TApollo(DataSource1, DataSource1);
    QuickReport.beforePrint = [this] { QuickReportBeforePrint(); };
    QuickReport.needData = [this] { return QuickReportNeedData(); };
    // A run cut short by an error must not leave the progress window open.
    QuickReport.runAborted = [this] { m_progress.closeProgress(); };
}

TEntryReport::~TEntryReport() {
    delete DataSource1;
}

void TEntryReport::QuickReportBeforePrint() {
    Apollo1->sx_GoTop();
    m_counter = 0;
    m_progress.setLine1(QStringLiteral("Etiketten werden erstellt ..."));
    m_progress.setLine2(QString());
    m_progress.showProgress();
    m_throttle->flush();
}

bool TEntryReport::QuickReportNeedData() {
    const bool more = !Apollo1->sx_Eof();
    if (more) {
        ++m_counter;
        m_progress.setLine2(QStringLiteral("Etikett: ") + QString::number(m_counter));
        m_throttle->tick();
        fillDetail();
        Apollo1->sx_Skip(1);
    } else {
        m_progress.closeProgress();
        m_throttle->flush();
    }
    return more;
}

QString TEntryReport::fieldText(const char* field) const {
    const TField f = m_table.FieldByName(QLatin1String(field));
    if (f.DataType() == 'N') return f.AsString().trimmed();
    return f.AsString();
}
