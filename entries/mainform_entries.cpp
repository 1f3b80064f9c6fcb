// The main window's commands of one feature: their handlers are bound here.
#include "entries/entryops.h"
#include "entries/grunddateneingabe.h"
#include "entries/mainform.h"
#include "entries/zusatztexteingabe.h"
#include "masterdata/lending.h"
#include "masterdata/masterdatawindows.h"
#include "shell/command.h"
#include "shell/dbgrid.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/searchcheck.h"
#include "store/ttable.h"

void TMainForm::bindEntryCommands() {
    using qv::MainCommand;
    command(MainCommand::NewEntry).setHandler([this] { Neuanlage(); });
    command(MainCommand::CopyEntry).setHandler([this] { Kopie(); });
    command(MainCommand::EditEntry).setHandler([this] { edit(); });
    command(MainCommand::AdditionalText).setHandler([this] {
        edittext();
        DBGrid1->setFocus(Qt::OtherFocusReason);
    });
}

TGrunddatenEingabe& TMainForm::grunddatenEingabe() {
    if (!m_grunddatenEingabe) {
        m_grunddatenEingabe = new TGrunddatenEingabe(m_session, m_program.settings(), this);
        // The lookup lists in choosing mode.
        auto take = [](std::optional<QString> chosen, QString& value) {
            if (chosen) value = *chosen;
            return chosen.has_value();
        };
        m_grunddatenEingabe->setCategoryChooser([this, take](QString& value) {
            return take(qv::chooseCategory(m_session, this), value);
        });
        m_grunddatenEingabe->setCarrierTypeChooser([this, take](QString& value) {
            return take(qv::chooseCarrierType(m_session, this), value);
        });
    }
    return *m_grunddatenEingabe;
}

TZusatztextEingabe& TMainForm::zusatztextEingabe() {
    if (!m_zusatztextEingabe) m_zusatztextEingabe = new TZusatztextEingabe(this);
    return *m_zusatztextEingabe;
}

bool TMainForm::requireCurrentEntry(const QString& caption) {
    if (qv::hasCurrentEntry(m_session)) return true;
    qv::message(QStringLiteral("Kein Datensatz vorhanden."), caption, qv::MsgIcon::Error,
                qv::MsgButtons::Ok);
    return false;
}

void TMainForm::Neuanlage() {
    if (!qv::searchCheck(m_session)) return;
    qv::newEntry(m_session, [this](qv::EntryFields& f) { return grunddatenEingabe().run(f); });
}

void TMainForm::Kopie() {
    if (!qv::searchCheck(m_session)) return;
    if (!requireCurrentEntry(QStringLiteral("Neuanlage Kopie"))) return;
    qv::copyEntry(m_session, [this](qv::EntryFields& f) { return grunddatenEingabe().run(f); });
}

void TMainForm::edit() {
    if (!requireCurrentEntry(QStringLiteral("Eintrag ändern"))) return;
    qv::editEntry(m_session, [this](qv::EntryFields& f) { return grunddatenEingabe().run(f); });
}

void TMainForm::edittext() {
    if (!requireCurrentEntry(QStringLiteral("Zusatztext eingeben"))) return;
    QString text =
        m_session.table(qv::CatalogTable::Entries).FieldByName(QStringLiteral("MEMO")).memoText();
    if (!zusatztextEingabe().run(text)) return;
    qv::storeAdditionalText(m_session, text);
}
