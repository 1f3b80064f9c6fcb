// Helpers for the tests of the table objects, views, engine access objects
// and grid models: a temporary directory with a small table in it, the
// program's engine settings (restored after each test), and a way to look at
// the file without the table objects.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/tapolloenv.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace storetest {

// The error a call raises; a failure of the test when it raises none.
qv::Error errorOf(const std::function<void()>& f);

// A test with its own directory and the program's engine settings.
//
// The table "karten.dbf" has NAME C(10), NUM N(5), BIG N(10), DATUM D,
// FLAG L, NOTIZ M, and is created empty; fill() appends records through the
// engine.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override;

    QString dir() const { return QString::fromStdString(dir_.path().string()); }
    std::string filePath(const std::string& name = "karten.dbf") const {
        return (dir_ / name).string();
    }
    // Appends records with NAME "r1" ... "rn" and NUM 1 ... n through the
    // engine; those in `deleted` are flagged.
    void fill(int n, const std::vector<int>& deleted = {});
    // A table object on karten.dbf (not opened).
    std::unique_ptr<TTable> makeTable(const QString& name = QStringLiteral("karten")) const;
    // NAME of record `recno` as stored in the file, trailing blanks removed
    // (opens the file through the engine, so the table must be closed).
    std::string storedName(int recno) const;
    // Number of records in the file (engine open, read-only).
    int storedCount() const;

    xb::SettingsGuard settingsGuard_;
    qvtest::TempDir dir_;
};

// The bytes of record `recno` (deletion flag first) as they are in the file
// right now, read past any lock; "" when the file does not hold the record.
std::string recordInFile(const std::string& dbfPath, int recno);
// The record count in the file's header.
int headerCount(const std::string& dbfPath);

// NAME of a table object's current record without trailing blanks.
QString nameOf(const TTable& t);

}  // namespace storetest
