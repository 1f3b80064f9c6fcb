// The check before commands that add entries: while a search result is
// shown (the entry query's subset is in force) no entry may be added.
#pragma once

namespace qv {

class CatalogueSession;

// Shows "Neuanlage nur bei NICHT-AKTIVER  SUCHE möglich." (caption
// "Achtung", information icon) and returns false while a search result is
// shown; returns true otherwise.
bool searchCheck(const CatalogueSession& session);

}  // namespace qv
