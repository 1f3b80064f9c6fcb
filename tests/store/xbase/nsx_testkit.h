// Helpers shared by the index tests: the fixtures' expected JSON as plain
// structs, and a whole-tag comparison against a model.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "store/xbase/coding.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "support/testutil.h"

namespace nsxtest {

struct SeekProbe {
    std::string why;
    std::string value;  // bytes to seek (encoded number for numeric tags)
    bool found[2];      // soft seek off, on
    std::uint32_t recno[2];
    bool eof[2];
};

struct ExpectedTag {
    std::string name, key, forText;
    char keyType = 'C';
    int keyLen = 0;
    bool unique = false, descend = false;
    std::uint64_t count = 0;
    // Full files: every entry in order. Sampled files: (position, entry).
    std::vector<std::pair<std::uint64_t, xb::NsxEntry>> keys;
    std::vector<SeekProbe> seeks;
};

struct ExpectedTable {
    std::string name;
    std::string indexFile;  // empty when none
    std::uint32_t recordCount = 0;
    std::vector<ExpectedTag> tags;
};

inline ExpectedTable loadExpected(const std::filesystem::path& json) {
    QFile f(QString::fromStdString(json.string()));
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + json.string());
    const QJsonObject top = QJsonDocument::fromJson(f.readAll()).object();
    ExpectedTable t;
    t.name = top["table"].toString().toStdString();
    if (!top["index_file"].isNull()) t.indexFile = top["index_file"].toString().toStdString();
    t.recordCount = static_cast<std::uint32_t>(top["dbf"].toObject()["record_count"].toInt());
    for (const QJsonValue& tv : top["tags"].toArray()) {
        const QJsonObject o = tv.toObject();
        ExpectedTag e;
        e.name = o["name"].toString().toStdString();
        e.key = o["key"].toString().toStdString();
        e.forText = o["for"].toString().toStdString();
        e.keyType = o["key_type"].toString().toStdString()[0];
        e.keyLen = o["key_len"].toInt();
        e.unique = o["unique"].toBool();
        e.descend = o["descend"].toBool();
        e.count = static_cast<std::uint64_t>(o["ordkeycount"].toDouble());
        const bool sampled = o.contains("keys_sampled");
        std::uint64_t pos = 0;
        for (const QJsonValue& kv : o["keys"].toArray()) {
            const QJsonArray a = kv.toArray();
            const int base = sampled ? 1 : 0;
            xb::NsxEntry en;
            en.recno = static_cast<std::uint32_t>(a[base].toDouble());
            en.key = qvtest::fromHex(a[base + 1].toString().toStdString());
            pos = sampled ? static_cast<std::uint64_t>(a[0].toDouble()) : pos + 1;
            e.keys.push_back({pos, en});
        }
        for (const QJsonValue& sv : o["seeks"].toArray()) {
            const QJsonObject so = sv.toObject();
            SeekProbe p;
            p.why = so["why"].toString().toStdString();
            if (e.keyType == 'C') {
                p.value = qvtest::fromHex(so["key_hex"].toString().toStdString());
            } else {
                std::uint8_t k[8];
                xb::encodeNumKey(so["key"].toDouble(), k);
                p.value.assign(reinterpret_cast<const char*>(k), 8);
            }
            const QJsonArray r = so["r"].toArray();
            for (int i = 0; i < 2; ++i) {
                const QJsonArray ri = r[i * 2].toArray();  // (off, off) and (on, off)
                p.found[i] = ri[0].toBool();
                p.recno[i] = static_cast<std::uint32_t>(ri[1].toDouble());
                p.eof[i] = ri[2].toBool();
            }
            e.seeks.push_back(p);
        }
        t.tags.push_back(std::move(e));
    }
    return t;
}

using Model = std::set<std::pair<std::string, std::uint32_t>>;

// Walks the tag both ways and checks entries, positions and count against
// the model.
inline void expectTagEquals(xb::NsxTag& tag, const Model& model, const std::string& ctx) {
    SCOPED_TRACE(ctx);
    ASSERT_EQ(tag.count(), model.size());
    xb::NsxCursor c(tag);
    std::uint64_t pos = 0;
    auto it = model.begin();
    for (bool ok = c.first(); ok; ok = c.next(), ++it) {
        ++pos;
        ASSERT_NE(it, model.end()) << "walk longer than the model";
        ASSERT_EQ(std::string(c.key()), it->first) << "at position " << pos;
        ASSERT_EQ(c.recno(), it->second) << "at position " << pos;
        ASSERT_EQ(c.position(), pos);
    }
    ASSERT_EQ(it, model.end()) << "walk shorter than the model";
    EXPECT_TRUE(c.eof());
    auto rit = model.rbegin();
    for (bool ok = c.last(); ok; ok = c.prev(), ++rit) {
        ASSERT_NE(rit, model.rend());
        ASSERT_EQ(std::string(c.key()), rit->first);
        ASSERT_EQ(c.recno(), rit->second);
    }
    ASSERT_EQ(rit, model.rend());
    EXPECT_TRUE(model.empty() ? c.eof() : c.bof());
}

inline std::string joinFaults(const std::vector<std::string>& f) {
    std::string s;
    for (const auto& x : f)
        s += x + "\n";
    return s;
}

}  // namespace nsxtest
