#include "masterdata/ui/lookupwindows.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"

namespace qv {

namespace {

QWidget* panel(QWidget* parent, QGridLayout*& grid) {
    auto* p = new QWidget(parent);
    p->setObjectName(QStringLiteral("Panel1"));
    grid = new QGridLayout(p);
    return p;
}

TStdListWindow::Options listOptions(CatalogueTable table, const char* caption, int topic,
                                    const char* prompt) {
    TStdListWindow::Options o;
    o.table = table;
    o.caption = QString::fromUtf8(caption);
    o.helpTopic = topic;
    o.searchPrompt = QString::fromUtf8(prompt);
    return o;
}

}  // namespace

// ---- edit dialogs ---------------------------------------------------------------------------

Tstd_endung_edit::Tstd_endung_edit(QWidget* parent)
    : TStdEditDialog(
          QStringLiteral("Eingabe Endungs-Daten"),
          QStringLiteral("Leerer Eintrag unzulässig. Es muß eine Endung angegeben werden."),
          QStringLiteral("Endung fehlt"), parent) {
    setObjectName(QStringLiteral("std_endung_edit"));
    QGridLayout* grid = nullptr;
    QWidget* body = panel(this, grid);
    Edit1 = addField(body, grid, 0, QStringLiteral("&Endung"), QStringLiteral("endung"), 3);
    Edit2 = addField(body, grid, 1, QStringLiteral("Er&läuterung"), QStringLiteral("bezeich"), 40);
    // The extension is upper-cased as it is typed (with the engine's table,
    // as its key is).
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString upper = engineUpper(text);
        if (upper == text) return;
        const int pos = Edit1->cursorPosition();
        Edit1->setText(upper);
        Edit1->setCursorPosition(pos);
    });
    finishLayout(body);
}

Tstd_katego_edit::Tstd_katego_edit(QWidget* parent)
    : TStdEditDialog(QStringLiteral("Eingabe Kategorie-Daten"),
                     QStringLiteral("Leerer Eintrag unzulässig. Es muß eine Bezeichnung der "
                                    "Kategorie angegeben werden."),
                     QStringLiteral("Bezeichnung fehlt"), parent) {
    setObjectName(QStringLiteral("std_katego_edit"));
    QGridLayout* grid = nullptr;
    QWidget* body = panel(this, grid);
    Edit1 = addField(body, grid, 0, QStringLiteral("&Bezeichnung"), QStringLiteral("katego"), 20);
    finishLayout(body);
}

Tstd_art_edit::Tstd_art_edit(QWidget* parent)
    : TStdEditDialog(QStringLiteral("Eingabe Datenträger-Art"),
                     QStringLiteral("Leerer Eintrag unzulässig. Es muß eine Bezeichnung der "
                                    "Datenträger-Art angegeben werden."),
                     QStringLiteral("Bezeichnung fehlt"), parent) {
    setObjectName(QStringLiteral("std_art_edit"));
    QGridLayout* grid = nullptr;
    QWidget* body = panel(this, grid);
    Edit1 =
        addField(body, grid, 0, QStringLiteral("&Bezeichnung:"), QStringLiteral("cdiskart"), 15);
    finishLayout(body);
}

// ---- list windows ---------------------------------------------------------------------------

TStdLookupWindow::TStdLookupWindow(CatalogueSession& session, Options options, bool keepOpen,
                                   TStdEditDialog* edit, QWidget* parent)
    : TStdListWindow(session, std::move(options), parent), m_edit(edit), m_keepOpen(keepOpen) {
    m_edit->setParent(this, m_edit->windowFlags());
}

bool TStdLookupWindow::runEditDialog(bool isNew, FieldValues& values) {
    if (isNew)
        m_edit->clearFields();
    else
        m_edit->fillFrom(list().table());
    if (!m_edit->run()) return false;
    values = m_edit->values();
    return true;
}

void TStdLookupWindow::FormActivate() {
    TTable& t = list().table();
    if (!t.Active()) {
        t.setDatabaseName(session().dm().programDir());
        t.Open();
        ApolloStd->sx_SetOrder(1);
    } else if (!m_keepOpen) {
        ApolloStd->sx_SetOrder(1);
    }
    TStdListWindow::FormActivate();
}

void TStdLookupWindow::FormClose() {
    if (!m_keepOpen) list().table().Close();
}

Tstd_endung::Tstd_endung(CatalogueSession& session, QWidget* parent)
    : TStdLookupWindow(
          session,
          [] {
              Options o = listOptions(CatalogueTable::Extensions, "Stammdaten Endungen", 700,
                                      "Suche nach Endung:");
              o.searchHint = QStringLiteral("Nach Endung suchen");
              o.searchMenuHint = QStringLiteral("Suchen nach einer Endung");
              o.suspendWhileWriting = false;
              return o;
          }(),
          true, new Tstd_endung_edit, parent) {
    setObjectName(QStringLiteral("std_endung"));
    session.table(CatalogueTable::Extensions)
        .setFieldDisplayDefs({{QStringLiteral("ENDUNG"), QStringLiteral("Endung"), 8, true},
                              {QStringLiteral("BEZEICH"), QStringLiteral("Erklärung"), 40, true}});
}

TStdChoosingWindow::TStdChoosingWindow(CatalogueSession& session, Options options,
                                       TStdEditDialog* edit, QString valueField, QWidget* parent)
    : TStdLookupWindow(session, std::move(options), false, edit, parent),
      m_valueField(std::move(valueField)) {}

void TStdChoosingWindow::BtnCloseClick() {
    m_chosen = list().currentText(m_valueField);
    accept();
}

Tstd_katego::Tstd_katego(CatalogueSession& session, QWidget* parent)
    : TStdChoosingWindow(session,
                         listOptions(CatalogueTable::Categories, "Stammdaten Kategorien", 730,
                                     "Suche nach Kategorie:"),
                         new Tstd_katego_edit, QStringLiteral("katego"), parent) {
    setObjectName(QStringLiteral("std_katego"));
    session.table(CatalogueTable::Categories)
        .setFieldDisplayDefs({{QStringLiteral("KATEGO"), QStringLiteral("Kategorie"), 30, true},
                              {QStringLiteral("ANZAHL"), QString(), 0, false}});
}

Tstd_art::Tstd_art(CatalogueSession& session, QWidget* parent)
    : TStdChoosingWindow(session,
                         listOptions(CatalogueTable::CarrierTypes, "Stammdaten Datenträger-Arten",
                                     840, "Suche nach Datenträger-Art:"),
                         new Tstd_art_edit, QStringLiteral("cdiskart"), parent) {
    setObjectName(QStringLiteral("std_art"));
    session.table(CatalogueTable::CarrierTypes)
        .setFieldDisplayDefs(
            {{QStringLiteral("CDISKART"), QStringLiteral("Datenträger-Art"), 30, true}});
}

}  // namespace qv
