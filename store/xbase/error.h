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
    const std::string& file() const { return file_; }   // empty when none
    std::int64_t record() const { return record_; }     // -1 when none
    std::int64_t page() const { return page_; }         // byte offset of the page, -1 when none

private:
    ErrorCode code_;
    std::string text_;
    std::string file_;
    std::int64_t record_;
    std::int64_t page_;
};

}  // namespace qv
