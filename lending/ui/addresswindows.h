// The address list of a run and its choosing mode.
//
// The list window `Tstd_verleih` is created, with its edit dialog, on its
// first use and kept until the catalogue session ends; the first caller's
// window becomes its parent. chooseAddress() shows it modally with its close
// button captioned "&Übernahme" (set back to "&Schließen" on every exit) and
// returns the number of the address current when the user pressed it (0 on
// an empty list), or std::nullopt when the window was closed otherwise.
#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

class QWidget;

namespace qv {

class CatalogueSession;
class Tstd_verleih;

std::optional<int> chooseAddress(CatalogueSession& session, QWidget* parent = nullptr);

class AddressWindows : public QObject {
    Q_OBJECT

  public:
    // The address list of `session`, made with it on first use.
    static AddressWindows& of(CatalogueSession& session);
    ~AddressWindows() override;

    Tstd_verleih& verleih(QWidget* parent = nullptr);
    // The created flag.
    Tstd_verleih* verleihIfCreated() const { return m_verleih; }

  private:
    explicit AddressWindows(CatalogueSession& session);

    CatalogueSession& m_session;
    QPointer<Tstd_verleih> m_verleih;
};

}  // namespace qv
