// The one error type of the program.
//
// Every failure that must reach the user (engine, table layer, settings list,
// conversions) is thrown as a qv::Error. It carries the German text that the
// general error handler shows (followed by "."), plus the context it arose in:
// the file, the record number and the index page, where they apply. The text
// already names the file where that helps the user; the context fields are for
// callers and tests that need to tell failures apart.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv {

enum class ErrorCode {
    IoError,          // a read, write, open or rename of a file failed
    Corrupt,          // a file does not have the structure it must have
    Locked,           // a file is in use by another program or instance
    NotFound,         // a file, field or tag that was asked for does not exist
    InvalidArgument,  // a call or an input the operation cannot accept
    Syntax,           // a malformed expression
    Range,            // an index outside a list or a table
    Conversion,       // a text that is not a valid number or date
    State,            // an operation not allowed in the table's current state
};

class Error : public std::runtime_error {
  public:
    // `text` is the German message in UTF-8, without the closing ".".
    explicit Error(ErrorCode code, std::string text, std::string file = {},
                   std::int64_t record = -1, std::int64_t page = -1);

    ErrorCode code() const { return code_; }
    const std::string& text() const { return text_; }
    const std::string& file() const { return file_; }  // empty when none
    std::int64_t record() const { return record_; }    // -1 when none
    std::int64_t page() const { return page_; }        // byte offset of the page, -1 when none

  private:
    ErrorCode code_;
    std::string text_;
    std::string file_;
    std::int64_t record_;
    std::int64_t page_;
};

}  // namespace qv

namespace xb {

// The engine's wording of its errors: one function for each kind of text, so
// that the same failure reads the same wherever it arises. `what` names the
// file as the sentence begins, with its article: "Die Datei", "Die Tabelle",
// "Die Memodatei", "Die Indexdatei", "Das Verzeichnis". Each returns the
// error, with the file (and record or page) as context, for the caller to
// throw.

// IoError "<what> <path> kann nicht <action>", followed by ": <reason>" when
// a reason is given; `action` is the passive infinitive ("gelesen werden").
qv::Error fileError(std::string_view what, const std::string& path, std::string_view action,
                    std::string_view reason = {});
// IoError "<what> <path> kann nicht weiter wachsen: <why>", for a change
// that would take the file past a limit of its format.
qv::Error limitPassed(std::string_view what, const std::string& path, std::string_view why);
// Corrupt "<what> <path> ist beschädigt: <why>".
qv::Error fileDamaged(std::string_view what, const std::string& path, std::string_view why,
                      std::int64_t record = -1, std::int64_t page = -1);
// NotFound "Die Datei <path> wurde nicht gefunden".
qv::Error fileNotFound(const std::string& path);
// Locked "Die Datei <path> wird bereits von einem anderen Programm benutzt".
qv::Error fileLocked(const std::string& path);
// State "<what> <path> ist nicht geöffnet".
qv::Error notOpen(std::string_view what, const std::string& path);
// State "<what> <path> ist nur zum Lesen geöffnet".
qv::Error openedReadOnly(std::string_view what, const std::string& path);
// State "Die Memos der Tabelle <path> können nur gelesen werden".
qv::Error memosReadOnly(const std::string& path);
// Range "Die Tabelle <path> hat keinen Datensatz <recno>".
qv::Error noSuchRecord(const std::string& path, std::uint32_t recno);
// Range "Die Tabelle <path> hat kein Feld Nummer <number>" (1-based).
qv::Error noFieldNumber(const std::string& path, int number);
// NotFound "Die Tabelle <path> hat kein Feld <name>".
qv::Error fieldNotFound(const std::string& path, std::string_view name);
// Range "Die Tabelle <path> hat keinen Tag Nummer <position>".
qv::Error noTagNumber(const std::string& path, int position);

}  // namespace xb
