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

namespace xb {

namespace {

std::string sentence(std::string_view what, const std::string& path, std::string_view rest) {
    std::string s;
    s.reserve(what.size() + path.size() + rest.size() + 2);
    s.append(what).append(1, ' ').append(path).append(1, ' ').append(rest);
    return s;
}

}  // namespace

qv::Error fileError(std::string_view what, const std::string& path, std::string_view action,
                    std::string_view reason) {
    std::string text = sentence(what, path, "kann nicht ");
    text.append(action);
    if (!reason.empty()) text.append(": ").append(reason);
    return qv::Error(qv::ErrorCode::IoError, std::move(text), path);
}

qv::Error limitPassed(std::string_view what, const std::string& path, std::string_view why) {
    return fileError(what, path, "weiter wachsen", why);
}

qv::Error fileDamaged(std::string_view what, const std::string& path, std::string_view why,
                      std::int64_t record, std::int64_t page) {
    std::string text = sentence(what, path, "ist beschädigt: ");
    text.append(why);
    return qv::Error(qv::ErrorCode::Corrupt, std::move(text), path, record, page);
}

qv::Error fileNotFound(const std::string& path) {
    return qv::Error(qv::ErrorCode::NotFound, sentence("Die Datei", path, "wurde nicht gefunden"),
                     path);
}

qv::Error fileLocked(const std::string& path) {
    return qv::Error(qv::ErrorCode::Locked,
                     sentence("Die Datei", path, "wird bereits von einem anderen Programm benutzt"),
                     path);
}

qv::Error notOpen(std::string_view what, const std::string& path) {
    return qv::Error(qv::ErrorCode::State, sentence(what, path, "ist nicht geöffnet"), path);
}

qv::Error openedReadOnly(std::string_view what, const std::string& path) {
    return qv::Error(qv::ErrorCode::State, sentence(what, path, "ist nur zum Lesen geöffnet"),
                     path);
}

qv::Error memosReadOnly(const std::string& path) {
    return qv::Error(qv::ErrorCode::State,
                     sentence("Die Memos der Tabelle", path, "können nur gelesen werden"), path);
}

qv::Error noSuchRecord(const std::string& path, std::uint32_t recno) {
    return qv::Error(qv::ErrorCode::Range,
                     sentence("Die Tabelle", path, "hat keinen Datensatz " + std::to_string(recno)),
                     path, recno);
}

qv::Error noFieldNumber(const std::string& path, int number) {
    return qv::Error(
        qv::ErrorCode::Range,
        sentence("Die Tabelle", path, "hat kein Feld Nummer " + std::to_string(number)), path);
}

qv::Error fieldNotFound(const std::string& path, std::string_view name) {
    std::string text = sentence("Die Tabelle", path, "hat kein Feld ");
    text.append(name);
    return qv::Error(qv::ErrorCode::NotFound, std::move(text), path);
}

qv::Error noTagNumber(const std::string& path, int position) {
    return qv::Error(
        qv::ErrorCode::Range,
        sentence("Die Tabelle", path, "hat keinen Tag Nummer " + std::to_string(position)), path);
}

}  // namespace xb
