#include "store/xbase/error.h"

#include <utility>

namespace qv {

Error::Error(ErrorCode code, std::string text, std::string file, std::int64_t record,
             std::int64_t page)
    : std::runtime_error(text),
      code_(code),
      text_(std::move(text)),
      file_(std::move(file)),
      record_(record),
      page_(page) {}

}  // namespace qv
