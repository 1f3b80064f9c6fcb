// The entry commands of the main window: a new empty entry, a copy of the
// current one, editing it and its additional text.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TGrunddatenEingabe;
class TZusatztextEingabe;

namespace qv {

class EntryCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

    // The entry dialog and the additional-text editor, created on first use
    // as children of the main window.
    TGrunddatenEingabe& grunddatenEingabe();
    TZusatztextEingabe& zusatztextEingabe();

  public slots:
    // Search check, then a new empty entry in the entry dialog.
    void Neuanlage();
    // Search check, then a copy of the current entry in the entry dialog.
    void Kopie();
    // The current entry in the entry dialog.
    void edit();
    // The current entry's additional text in its editor.
    void edittext();

  private:
    // False (with "Kein Datensatz vorhanden.") when the list shows no entry.
    bool requireCurrentEntry(const QString& caption);

    MainWindowHost* m_host = nullptr;
    TGrunddatenEingabe* m_grunddatenEingabe = nullptr;
    TZusatztextEingabe* m_zusatztextEingabe = nullptr;
};

}  // namespace qv
