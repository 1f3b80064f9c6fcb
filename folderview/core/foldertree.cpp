#include "folderview/core/foldertree.h"

#include <QHash>

#include <algorithm>
#include <numeric>

#include "catalogue/cataloguesession.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"

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
        SplitPath sp = splitStoredPath(f.storedPath, f.storedName);
        m_names[i] = sp.name;
        // Files of one folder come together: a path whose folder part (up to
        // the separator before the name's blank) is the last one's goes
        // into the same folder.
        const qsizetype cut = f.storedPath.lastIndexOf(separatorOf(f.storedPath));
        const bool clean = cut >= 0 && cut + 1 < f.storedPath.size() &&
                           f.storedPath.at(cut + 1) == QLatin1Char(' ');
        const QString dirKey = clean ? f.storedPath.left(cut + 1) : QString();
        int node = 0;
        if (clean && lastNode >= 0 && dirKey == lastDir) {
            node = lastNode;
        } else {
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
            lastDir = dirKey;
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
        std::sort(fn.files.begin(), fn.files.end(), [&](int a, int b) {
            const auto ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
            return nameLess(keys[ua], m_names[ua], keys[ub], m_names[ub]);
        });
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

int fieldOf(const xb::Table& t, const char* name) {
    const int i = t.fieldIndex(name);
    if (i < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle " + t.path() + " hat kein Feld " + std::string(name), t.path());
    return i;
}

QString fieldText(const xb::Table& t, int i) {
    std::string_view raw = t.raw(i);
    while (!raw.empty() && raw.back() == ' ')
        raw.remove_suffix(1);
    return QString::fromStdString(xb::cp1252ToUtf8(raw));
}

// The path a file record holds.
QString storedPath(const xb::Table& t, int pathField) {
    return fieldText(t, pathField);
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
    const int path = fieldOf(t, "dirpfad");
    const int name = fieldOf(t, "dirname");
    const int size = fieldOf(t, "dirsize");
    const int date = fieldOf(t, "dirdate");
    const int time = fieldOf(t, "dirtime");
    std::string key = std::to_string(number);
    if (key.size() < 8) key.insert(0, 8 - key.size(), ' ');
    std::vector<FolderFile> out;
    const std::vector<std::uint32_t> recnos = t.seekRun(key);
    out.reserve(recnos.size());
    for (const std::uint32_t r : recnos) {
        t.go(r);
        FolderFile f;
        f.storedPath = storedPath(t, path);
        f.storedName = fieldText(t, name);
        f.size = static_cast<qint64>(t.number(size));
        const std::string_view d = t.raw(date);
        const std::int32_t jdn = d.size() == 8 ? xb::parseDbfDate(d.data()) : 0;
        if (jdn > 0) {
            int y = 0, m = 0, dd = 0;
            xb::jdnToDate(jdn, y, m, dd);
            f.date = QDate(y, m, dd);
        }
        f.time = fieldText(t, time);
        f.recno = r;
        out.push_back(std::move(f));
    }
    files.Refresh();
    return out;
}

}  // namespace qv
