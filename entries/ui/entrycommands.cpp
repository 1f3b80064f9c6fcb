#include "entries/ui/entrycommands.h"

#include "catalogue/cataloguesession.h"
#include "entries/core/entryops.h"
#include "entries/ui/grunddateneingabe.h"
#include "entries/ui/zusatztexteingabe.h"
#include "lending/core/lending.h"
#include "masterdata/ui/masterdatawindows.h"
#include "store/ttable.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/program.h"
#include "ui/searchcheck.h"

namespace qv {

void EntryCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::NewEntry).setHandler([this] { Neuanlage(); });
    commands.command(MainCommand::CopyEntry).setHandler([this] { Kopie(); });
    commands.command(MainCommand::EditEntry).setHandler([this] { edit(); });
    commands.command(MainCommand::AdditionalText).setHandler([this] {
        edittext();
        m_host->focusEntryList();
    });
}

TGrunddatenEingabe& EntryCommands::grunddatenEingabe() {
    if (!m_grunddatenEingabe) {
        m_grunddatenEingabe = new TGrunddatenEingabe(
            m_host->session(), m_host->program().settings(), m_host->window());
        // The lookup lists in choosing mode.
        auto take = [](std::optional<QString> chosen, QString& value) {
            if (chosen) value = *chosen;
            return chosen.has_value();
        };
        m_grunddatenEingabe->setCategoryChooser([this, take](QString& value) {
            return take(chooseCategory(m_host->session(), m_host->window()), value);
        });
        m_grunddatenEingabe->setCarrierTypeChooser([this, take](QString& value) {
            return take(chooseCarrierType(m_host->session(), m_host->window()), value);
        });
    }
    return *m_grunddatenEingabe;
}

TZusatztextEingabe& EntryCommands::zusatztextEingabe() {
    if (!m_zusatztextEingabe) m_zusatztextEingabe = new TZusatztextEingabe(m_host->window());
    return *m_zusatztextEingabe;
}

bool EntryCommands::requireCurrentEntry(const QString& caption) {
    if (hasCurrentEntry(m_host->session())) return true;
    message(QStringLiteral("Kein Datensatz vorhanden."), caption, MsgIcon::Error, MsgButtons::Ok);
    return false;
}

void EntryCommands::Neuanlage() {
    if (!searchCheck(m_host->session())) return;
    newEntry(m_host->session(), [this](EntryFields& f) { return grunddatenEingabe().run(f); });
}

void EntryCommands::Kopie() {
    if (!searchCheck(m_host->session())) return;
    if (!requireCurrentEntry(QStringLiteral("Neuanlage Kopie"))) return;
    copyEntry(m_host->session(), [this](EntryFields& f) { return grunddatenEingabe().run(f); });
}

void EntryCommands::edit() {
    if (!requireCurrentEntry(QStringLiteral("Eintrag ändern"))) return;
    editEntry(m_host->session(), [this](EntryFields& f) { return grunddatenEingabe().run(f); });
}

void EntryCommands::edittext() {
    if (!requireCurrentEntry(QStringLiteral("Zusatztext eingeben"))) return;
    QString text = m_host->session()
                       .table(CatalogueTable::Entries)
                       .FieldByName(QStringLiteral("MEMO"))
                       .memoText();
    if (!zusatztextEingabe().run(text)) return;
    storeAdditionalText(m_host->session(), text);
}

}  // namespace qv
