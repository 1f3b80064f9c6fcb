#include "folderview/core/foldertree.h"

#include <QHash>

#include <algorithm>
#include <numeric>

#include "catalogue/cataloguesession.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

const QString kCut = QStringLiteral("…");

QChar separatorOf(const QString& path) {
    return path.startsWith(QLatin1Char('/')) ? QLatin1Char('/') : QLatin1Char('\\');
}

// Folder names compared as people read them: case folded first, then as
// stored so that the order is total.
bool nameLess(const QString& ka, const QString& a, const QString& kb, const QString& b) {
    const int c = ka.compare(kb);
    return c != 0 ? c < 0 : a < b;
}

}  // namespace

SplitPath splitStoredPath(const QString& storedPath, const QString& storedName) {
    SplitPath out;
    const QChar sep = separatorOf(storedPath);
    const qsizetype last = storedPath.lastIndexOf(sep);
    QString dir;
    if (last < 0) {
        // No folder at all: the text is the name (after its blank).
        out.name = storedPath.startsWith(QLatin1Char(' ')) ? storedPath.mid(1) : storedPath;
    } else {
        dir = storedPath.left(last);
        const QString rest = storedPath.mid(last + 1);
        if (rest.startsWith(QLatin1Char(' '))) {
            out.name = rest.mid(1);
        } else if (!rest.isEmpty()) {
            // Cut inside a folder name: the file lies somewhere below it.
            dir += sep + rest + kCut;
        }
    }
    // The name field holds the name's first characters: the longer of the two
    // is the better one when the path lost the name's end.
    if (out.name.isEmpty() ||
        (storedName.size() > out.name.size() && storedName.startsWith(out.name)))
        out.name = storedName;

    QStringList parts = dir.split(sep);
    if (sep == QLatin1Char('/')) {
        if (last >= 0) out.root = QStringLiteral("/");
        if (!parts.isEmpty() && parts.first().isEmpty()) parts.removeFirst();
    } else if (!parts.isEmpty() && parts.first().endsWith(QLatin1Char(':'))) {
        out.root = parts.takeFirst() + sep;
    }
    for (const QString& p : parts)
        if (!p.isEmpty()) out.folders << p;
    return out;
}

FolderTree::FolderTree() {
    m_nodes.emplace_back();
}

FolderTree::FolderTree(std::vector<FolderFile> files) : m_files(std::move(files)) {
    const std::size_t n = m_files.size();
    m_names.resize(n);
    m_folderOf.resize(n);
    m_nodes.emplace_back();
    // The children of each folder by name while building.
    std::vector<QHash<QString, int>> childByName(1);
    QString lastDir;
    int lastNode = -1;
    for (std::size_t i = 0; i < n; ++i) {
        const FolderFile& f = m_files[i];
        // Files of one folder come together: a path whose folder part (up to
        // the separator before the name's blank) is the last one's goes
        // into the same folder, and only its name is taken.
        const qsizetype cut = f.storedPath.lastIndexOf(separatorOf(f.storedPath));
        const bool clean = cut >= 0 && cut + 1 < f.storedPath.size() &&
                           f.storedPath.at(cut + 1) == QLatin1Char(' ');
        int node = 0;
        if (clean && lastNode >= 0 && QStringView(f.storedPath).left(cut + 1) == lastDir) {
            node = lastNode;
            QString name = f.storedPath.mid(cut + 2);
            if (name.isEmpty() ||
                (f.storedName.size() > name.size() && f.storedName.startsWith(name)))
                name = f.storedName;
            m_names[i] = std::move(name);
        } else {
            SplitPath sp = splitStoredPath(f.storedPath, f.storedName);
            m_names[i] = sp.name;
            // The first file names the carrier's root; a file under another
            // root gets that root as a folder of its own.
            if (i == 0) m_nodes[0].name = sp.root;
            if (!sp.root.isEmpty() && sp.root != m_nodes[0].name) sp.folders.prepend(sp.root);
            for (const QString& part : sp.folders) {
                auto& map = childByName[static_cast<std::size_t>(node)];
                auto it = map.constFind(part);
                if (it != map.constEnd()) {
                    node = it.value();
                    continue;
                }
                const int created = static_cast<int>(m_nodes.size());
                FolderNode fn;
                fn.name = part;
                fn.parent = node;
                m_nodes.push_back(std::move(fn));
                childByName.emplace_back();
                childByName[static_cast<std::size_t>(node)].insert(part, created);
                m_nodes[static_cast<std::size_t>(node)].children.push_back(created);
                node = created;
            }
            lastDir = clean ? f.storedPath.left(cut + 1) : QString();
            lastNode = clean ? node : -1;
        }
        m_folderOf[i] = node;
        m_nodes[static_cast<std::size_t>(node)].files.push_back(static_cast<int>(i));
    }
    // Totals from the leaves up: a child is always made after its parent.
    for (std::size_t k = m_nodes.size(); k-- > 0;) {
        FolderNode& fn = m_nodes[k];
        fn.fileCount += static_cast<qint64>(fn.files.size());
        for (int fi : fn.files)
            fn.totalSize += m_files[static_cast<std::size_t>(fi)].size;
        if (fn.parent >= 0) {
            m_nodes[static_cast<std::size_t>(fn.parent)].fileCount += fn.fileCount;
            m_nodes[static_cast<std::size_t>(fn.parent)].totalSize += fn.totalSize;
        }
    }
    // Files by name, within each folder.
    std::vector<QString> keys(n);
    for (std::size_t i = 0; i < n; ++i)
        keys[i] = m_names[i].toCaseFolded();
    for (FolderNode& fn : m_nodes) {
        const auto less = [&](int a, int b) {
            const auto ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
            return nameLess(keys[ua], m_names[ua], keys[ub], m_names[ub]);
        };
        // Stored in path order, a folder's files are mostly in order already.
        if (!std::is_sorted(fn.files.begin(), fn.files.end(), less))
            std::sort(fn.files.begin(), fn.files.end(), less);
    }
    setFolderOrder(FolderOrder::Name);
}

void FolderTree::setFolderOrder(FolderOrder order) {
    m_order = order;
    for (std::size_t k = 0; k < m_nodes.size(); ++k)
        sortChildren(static_cast<int>(k));
}

void FolderTree::sortChildren(int node) {
    auto& children = m_nodes[static_cast<std::size_t>(node)].children;
    auto byName = [this](int a, int b) {
        const QString& na = this->node(a).name;
        const QString& nb = this->node(b).name;
        return nameLess(na.toCaseFolded(), na, nb.toCaseFolded(), nb);
    };
    if (m_order == FolderOrder::Name) {
        std::sort(children.begin(), children.end(), byName);
    } else {
        std::sort(children.begin(), children.end(), [&](int a, int b) {
            const qint64 sa = this->node(a).totalSize, sb = this->node(b).totalSize;
            return sa != sb ? sa > sb : byName(a, b);
        });
    }
}

QString FolderTree::pathOf(int node) const {
    QStringList parts;
    const QString& root = m_nodes[0].name;
    const QChar sep = root.endsWith(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
    for (int k = node; k > 0; k = this->node(k).parent)
        parts.prepend(this->node(k).name);
    return root + parts.join(sep) + (parts.isEmpty() ? QString() : QString(sep));
}

// ---- reading -----------------------------------------------------------------------------

namespace {

const xb::FieldDesc& fieldOf(const xb::Table& t, const char* name) {
    const int i = t.fieldIndex(name);
    if (i < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle " + t.path() + " hat kein Feld " + std::string(name), t.path());
    return t.field(i);
}

std::string_view bytesOf(const std::uint8_t* record, const xb::FieldDesc& f) {
    std::string_view v(reinterpret_cast<const char*>(record) + f.offset, f.len);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0'))
        v.remove_suffix(1);
    return v;
}

// The path a file record holds.
QString storedPath(const std::uint8_t* record, const xb::FieldDesc& pathField) {
    return fromCp1252(bytesOf(record, pathField));
}

}  // namespace

std::vector<FolderFile> readEntryFiles(CatalogueSession& session, int number) {
    TTable& files = session.table(CatalogueTable::Files);
    if (!files.Active())
        throw Error(ErrorCode::State, "Die Tabelle der Dateien ist nicht geöffnet");
    ScopedSuspend view(session.view(CatalogueTable::Files));
    files.CheckBrowseMode();
    session.apollo(CatalogueTable::Files)
        .sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    xb::Table& t = *files.engine();
    const xb::FieldDesc& path = fieldOf(t, "dirpfad");
    const xb::FieldDesc& name = fieldOf(t, "dirname");
    const xb::FieldDesc& size = fieldOf(t, "dirsize");
    const xb::FieldDesc& date = fieldOf(t, "dirdate");
    const xb::FieldDesc& time = fieldOf(t, "dirtime");
    std::string key = std::to_string(number);
    if (key.size() < 8) key.insert(0, 8 - key.size(), ' ');

    // The entry's records in path order, from the index alone.
    std::vector<std::uint32_t> recnos;
    {
        ScopeExit lift([&t] { t.index().clearScope(); });
        t.index().setScope(key, key);
        recnos.resize(static_cast<std::size_t>(t.index().count()));
        if (!recnos.empty()) t.index().recnosAtOrderPositions(1, recnos.data(), recnos.size());
    }
    // Read in record order, in runs of neighbouring records (a carrier's
    // files were stored one after the other), each put at its path-order place.
    std::vector<std::pair<std::uint32_t, std::size_t>> byRecord(recnos.size());
    for (std::size_t i = 0; i < recnos.size(); ++i)
        byRecord[i] = {recnos[i], i};
    std::sort(byRecord.begin(), byRecord.end());
    std::vector<FolderFile> out(recnos.size());
    const std::size_t length = t.recordLength();
    std::vector<std::uint8_t> block;
    for (std::size_t j = 0; j < byRecord.size();) {
        std::size_t k = 1;
        while (j + k < byRecord.size() && k < 4096 &&
               byRecord[j + k].first == byRecord[j].first + k)
            ++k;
        block.resize(k * length);
        t.readRecordsAt(byRecord[j].first, static_cast<std::uint32_t>(k), block.data());
        for (std::size_t m = 0; m < k; ++m) {
            const std::uint8_t* rec = block.data() + m * length;
            FolderFile& f = out[byRecord[j + m].second];
            f.recno = byRecord[j + m].first;
            f.storedPath = storedPath(rec, path);
            f.storedName = fromCp1252(bytesOf(rec, name));
            f.size = static_cast<qint64>(
                xb::parseNumber({reinterpret_cast<const char*>(rec) + size.offset, size.len}));
            const std::int32_t jdn =
                date.len == 8 ? xb::parseDbfDate(reinterpret_cast<const char*>(rec) + date.offset)
                              : 0;
            if (jdn > 0) {
                int y = 0, mo = 0, d = 0;
                xb::jdnToDate(jdn, y, mo, d);
                f.date = QDate(y, mo, d);
            }
            f.time = fromCp1252(bytesOf(rec, time));
        }
        j += k;
    }
    return out;
}

}  // namespace qv
