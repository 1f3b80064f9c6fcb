// The reorganisation: compacts the six catalogue tables and builds every
// index file anew. The windows ask first and end the program afterwards; the
// store tool's "reorg" runs the same steps without asking.
//
// The steps, each on the intro window:
//  1. status "Reorg:", line "Datenbank schließen, Index löschen", the window
//     shown and drawn;
//  2. the views of the six tables detached, the tables closed (entry, file,
//     extension, category, carrier-type, address table);
//  3. the six index files set aside (file, entry, extension, category,
//     carrier-type, address table; a missing one is no error), each as
//     "<index>.reorg", and deleted as soon as its table's pack in 5 is
//     done;
//  4. the tables opened again, exclusive, in record order;
//  5. the bar shown with one step per table; each table packed in the order
//     of 2, its line showing its text and the bar the pack's progress;
//     The volume table beside them is packed after them, its index file
//     deleted first;
//  6. the start-up check, which finds every index missing and builds them;
//  7. the views re-attached, the intro window closed.
// An error on the way (no permission, a full disk) stops the remaining
// steps; every table that was not packed (or whose pack did not reach its
// commit point) gets its index file back, so that a failure for lack of
// room leaves no index that needs room to be built; the catalogue is then
// opened again as the start-up check opens it
// (tables in their start orders, missing index files built again, a pack's
// temporaries gone), the intro window is closed, and the error is thrown
// saying that the catalogue is open again. When even that fails the error
// is thrown as the engine raised it. Every step leaves the catalogue in a
// state the next start-up check opens: packs are crash-safe in the engine,
// and missing or half-built index files are built again.
#pragma once

#include "catalogue/cataloguecheck.h"

class TDM;

namespace qv {

class CatalogueSession;

// Returns false when the start-up check ended the program (see
// checkCatalogue()).
bool reorganiseCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                         const FatalMessage& fatal);

}  // namespace qv
