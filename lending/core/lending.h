// Address numbers and the lending assignment, without a window.
//
// An entry refers to an address by its number (`LEIHRAUS` lent to,
// `LEIHREIN` borrowed from; 0 is none). Address numbers run upward from 1;
// 0 and 99999 are the two placeholder records no list shows.
#pragma once

#include <QString>

namespace qv {

class CatalogueSession;

// The highest number a listed address can carry.
inline constexpr int kHighestAddressNumber = 99998;

// The number of a new address: the highest number of a non-deleted address
// plus 1, moved past every number a non-deleted entry still refers to (lent
// to or borrowed from, whatever query subset is installed), so that a new
// address never takes over an assignment made to a deleted one. May exceed
// kHighestAddressNumber (then no new address can be made). The address and
// entry tables keep their order and record.
int nextAddressNumber(CatalogueSession& session);

enum class LendingField { LentTo, BorrowedFrom };
// "leihraus" or "leihrein".
QString lendingFieldName(LendingField field);

// Whether the entry list has a current entry (a visible record).
bool hasCurrentEntry(CatalogueSession& session);
// Writes `number` into the current entry's lending field and posts it; the
// entry stays current. REQUIRES: hasCurrentEntry().
void setLending(CatalogueSession& session, LendingField field, int number);

}  // namespace qv
