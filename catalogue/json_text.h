// JSON text pieces for the dump: strings and numbers written by hand, so that
// the fields keep their file order and the numbers their field text.
#pragma once

#include <string>
#include <string_view>

namespace qvdb {

// Appends `utf8` as a JSON string literal (quotes included). Control
// characters and DEL are written as \u escapes.
void appendJsonString(std::string& out, std::string_view utf8);

// The JSON number for the text of an N field: the text as it reads
// ("  0.50" gives 0.5, "   12" gives 12, "-0" gives 0). Text that is not a
// plain decimal number (for instance "***") gives the value the engine reads
// from it.
std::string jsonNumber(std::string_view fieldText);

}  // namespace qvdb
