#include "statistics/ui/statkategorie.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "statistics/ui/barchart.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/dbgrid.h"
#include "ui/windowutil.h"

namespace {

// Puts the window's column definitions on the category table and the
// table's own back when it goes away.
class ScopedColumns {
  public:
    explicit ScopedColumns(TTable* table) : m_table(table) {
        if (!m_table) return;
        m_saved = m_table->fieldDisplayDefs();
        m_table->setFieldDisplayDefs(
            {{QStringLiteral("KATEGO"), QStringLiteral("Kategorie"), 0, true},
             {QStringLiteral("ANZAHL"), QStringLiteral("Anzahl"), 0, true}});
    }
    ~ScopedColumns() {
        if (m_table) m_table->setFieldDisplayDefs(m_saved);
    }
    ScopedColumns(const ScopedColumns&) = delete;
    ScopedColumns& operator=(const ScopedColumns&) = delete;

  private:
    TTable* m_table;
    QList<FieldDisplayDef> m_saved;
};

}  // namespace

TStat_kategorie::TStat_kategorie(TDataSource* categories, QWidget* parent)
    : QDialog(parent), m_source(categories) {
    setObjectName(QStringLiteral("Stat_kategorie"));
    setWindowTitle(QStringLiteral("Statistik Kategorien"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    DBGrid1 = new qv::DbGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(m_source);
    // The selection stays visible while the button has the focus.
    QPalette p = DBGrid1->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    DBGrid1->setPalette(p);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);

    Chart1 = new qv::ChartPanel(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    auto* lists = new QHBoxLayout;
    DBGrid1->setFixedWidth(340);
    lists->addWidget(DBGrid1);
    lists->addWidget(Chart1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    setFixedSize(900, 460);
}

TStat_kategorie::~TStat_kategorie() {
    DBGrid1->setDataSource(nullptr);
}

int TStat_kategorie::showCounts() {
    ScopedColumns columns(m_source ? m_source->DataSet() : nullptr);
    return exec();
}

void TStat_kategorie::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
    DBGrid1->setFocus(Qt::OtherFocusReason);
}
