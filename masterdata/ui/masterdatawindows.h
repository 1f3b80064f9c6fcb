// The master-data windows of a run and the choosing mode other dialogs use.
//
// Each list window is created, together with its edit dialog, on its first
// use and kept until the catalogue session ends; the first caller's window
// becomes its parent.
//
// Choosing mode (the entry dialog's "?" buttons):
//
//     if (auto value = qv::chooseCategory(session, this))
//         Edit5->setText(*value);          // OK: the chosen text, trimmed
//                                          // at the right ("" on an empty list)
//     // std::nullopt: the window was closed otherwise; leave the field as it is
//
// chooseCategory() and chooseCarrierType() show the category or carrier-type
// list modally with its close button captioned "&Übernahme" (set back to
// "&Schließen" on every exit) and return the text of the record current when
// the user pressed it. The address list has its own keeper
// (lending/ui/addresswindows.h).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace qv {

class CatalogueSession;
class SettingsList;
class Tstd_endung;
class Tstd_katego;
class Tstd_art;
class Tstd_stat;

std::optional<QString> chooseCategory(CatalogueSession& session, QWidget* parent = nullptr);
std::optional<QString> chooseCarrierType(CatalogueSession& session, QWidget* parent = nullptr);

class MasterdataWindows : public QObject {
    Q_OBJECT

  public:
    // The windows of `session`, made with it on first use.
    static MasterdataWindows& of(CatalogueSession& session);
    ~MasterdataWindows() override;

    Tstd_endung& endung(QWidget* parent = nullptr);
    Tstd_katego& katego(QWidget* parent = nullptr);
    Tstd_art& art(QWidget* parent = nullptr);
    Tstd_stat& stat(SettingsList& settings, QWidget* parent = nullptr);

    // The created flags.
    Tstd_endung* endungIfCreated() const;
    Tstd_katego* kategoIfCreated() const;
    Tstd_art* artIfCreated() const;
    Tstd_stat* statIfCreated() const;

  private:
    explicit MasterdataWindows(CatalogueSession& session);
    void destroyWindows();

    CatalogueSession& m_session;
    QPointer<Tstd_endung> m_endung;
    QPointer<Tstd_katego> m_katego;
    QPointer<Tstd_art> m_art;
    QPointer<Tstd_stat> m_stat;
};

}  // namespace qv
