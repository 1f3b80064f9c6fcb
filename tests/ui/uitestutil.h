// Helpers for the shell tests: driving modal windows and watching files.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/qtsupport.h"
#include "support/testutil.h"

namespace qvtest {

// Bytes and modification time of a file, to prove it was not touched.
struct FileSnapshot {
    std::vector<std::uint8_t> bytes;
    std::filesystem::file_time_type mtime;

    static FileSnapshot of(const std::filesystem::path& p) {
        return {readFile(p), std::filesystem::last_write_time(p)};
    }
    bool operator==(const FileSnapshot& o) const { return bytes == o.bytes && mtime == o.mtime; }
};

// Sets a file's modification time well into the past, so that any rewrite
// shows in its time stamp.
inline void ageFile(const std::filesystem::path& p) {
    std::filesystem::last_write_time(
        p, std::filesystem::last_write_time(p) - std::chrono::hours(24 * 365));
}

inline std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace qvtest
