#include "store_test_util.h"

#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"

namespace storetest {

qv::Error errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const qv::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no qv::Error raised";
    return qv::Error(qv::ErrorCode::IoError, "(keiner)");
}

void StoreTest::SetUp() {
    TApolloEnv::setProgramDefaults();
    xb::TableBuilder b(filePath());
    b.addField("name", 'C', 10);
    b.addField("num", 'N', 5);
    b.addField("big", 'N', 10);
    b.addField("datum", 'D');
    b.addField("flag", 'L');
    b.addField("notiz", 'M');
    b.create();
}

void StoreTest::fill(int n, const std::vector<int>& deleted) {
    auto t = xb::Table::open(filePath());
    const int first = static_cast<int>(t->recCount()) + 1;
    for (int i = first; i < first + n; ++i) {
        t->append();
        t->replaceText(0, "r" + std::to_string(i));
        t->replaceNumber(1, i);
        for (int d : deleted)
            if (d == i) t->deleteRecord();
    }
    t->close();
}

std::unique_ptr<TTable> StoreTest::makeTable(const QString& name) const {
    auto t = std::make_unique<TTable>();
    t->setDatabaseName(dir());
    t->setTableName(name);
    return t;
}

std::string StoreTest::storedName(int recno) const {
    auto t = xb::Table::open(filePath(), xb::OpenMode::ReadOnly);
    t->go(static_cast<std::uint32_t>(recno));
    std::string s(t->raw(0));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

int StoreTest::storedCount() const {
    auto t = xb::Table::open(filePath(), xb::OpenMode::ReadOnly);
    return static_cast<int>(t->recCount());
}

std::string recordInFile(const std::string& dbfPath, int recno) {
    const std::vector<std::uint8_t> bytes = qvtest::readFile(dbfPath);
    if (bytes.size() < 32) return {};
    const std::size_t headerLength = bytes[8] | (bytes[9] << 8);
    const std::size_t recordLength = bytes[10] | (bytes[11] << 8);
    const std::size_t at = headerLength + static_cast<std::size_t>(recno - 1) * recordLength;
    if (recno < 1 || at + recordLength > bytes.size()) return {};
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), recordLength);
}

int headerCount(const std::string& dbfPath) {
    const std::vector<std::uint8_t> b = qvtest::readFile(dbfPath);
    return b.size() < 8 ? -1 : static_cast<int>(b[4] | (b[5] << 8) | (b[6] << 16) | (b[7] << 24));
}

QString nameOf(const TTable& t) {
    return t.FieldByName(QStringLiteral("name")).AsString().trimmed();
}

}  // namespace storetest
