#include "output/core/entryreport.h"

#include "store/displays.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

TEntryReport::TEntryReport(TTable& entryTable, qv::ProgressDisplay& progress)
    : m_table(entryTable), m_progress(progress) {
    DataSource1 = new TDataSource(&entryTable);
    Apollo1 = new TApollo(DataSource1, DataSource1);
    QuickReport.beforePrint = [this] { QuickReportBeforePrint(); };
    QuickReport.needData = [this] { return QuickReportNeedData(); };
    // A run cut short by an error must not leave the progress window open.
    QuickReport.runAborted = [this] { m_shown.reset(); };
}

TEntryReport::~TEntryReport() {
    delete DataSource1;
}

void TEntryReport::QuickReportBeforePrint() {
    Apollo1->sx_GoTop();
    m_counter = 0;
    m_shown.reset();
    m_shown.emplace(m_progress);
    m_shown->phase(QStringLiteral("Etiketten werden erstellt ..."));
}

bool TEntryReport::QuickReportNeedData() {
    const bool more = !Apollo1->sx_Eof();
    if (more) {
        ++m_counter;
        if (m_shown) m_shown->detail(QStringLiteral("Etikett: ") + QString::number(m_counter));
        fillDetail();
        Apollo1->sx_Skip(1);
    } else {
        m_shown.reset();
    }
    return more;
}

QString TEntryReport::fieldText(const char* field) const {
    const TField f = m_table.FieldByName(QLatin1String(field));
    if (f.DataType() == 'N') return f.AsString().trimmed();
    return f.AsString();
}
