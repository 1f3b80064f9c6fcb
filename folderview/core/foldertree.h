// The files of one entry as the folder tree of its carrier, rebuilt from the
// paths the file records hold.
//
// A stored path is the file's directory with its closing separator, one
// blank and the file name: "/TOOLS/ SETUP.EXE" for a carrier read here, and
// "A:\TOOLS\ SETUP.EXE" in catalogues taken over from the predecessor. A path
// beginning with '/' separates its folders with '/', any other with '\' (no
// name on such a volume holds a '\'). The name begins after the blank that
// follows the last separator, so folder names and file names keep leading
// blanks of their own. A path cut short by the width of its field keeps the
// folders it still names; a folder name that lost its end is marked with
// "…" and the file takes its name from the name field.
//
// Folders hold their files and subfolders; each shows the number and the
// total size of the files below it (subfolders included). Folders are
// sorted by name, or by total size (largest first), files by name.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace qv {

class CatalogueSession;

// One file of an entry.
struct FolderFile {
    QString storedPath;  // as the record holds it, trimmed on the right
    QString storedName;  // the name field, trimmed on the right
    qint64 size = 0;
    QDate date;
    QString time;
    std::uint32_t recno = 0;  // in the file table
};

// Where a stored path puts its file.
struct SplitPath {
    QString root;         // "/" or "A:\"; "" for a path without a root
    QStringList folders;  // below the root
    QString name;
};
SplitPath splitStoredPath(const QString& storedPath, const QString& storedName);

enum class FolderOrder { Name, Size };

struct FolderNode {
    QString name;  // the root's is the carrier's root ("/", "A:\")
    int parent = -1;
    std::vector<int> children;  // node indices, in the tree's folder order
    std::vector<int> files;     // indices into files(), by name
    qint64 fileCount = 0;       // files in this folder and below
    qint64 totalSize = 0;       // their sizes
};

class FolderTree {
  public:
    FolderTree();
    // Builds the tree of `files` (any order).
    explicit FolderTree(std::vector<FolderFile> files);

    const std::vector<FolderNode>& nodes() const { return m_nodes; }
    const FolderNode& node(int i) const { return m_nodes[static_cast<std::size_t>(i)]; }
    const std::vector<FolderFile>& files() const { return m_files; }
    const FolderFile& file(int i) const { return m_files[static_cast<std::size_t>(i)]; }
    // The file's own name, as the path gives it.
    const QString& fileName(int i) const { return m_names[static_cast<std::size_t>(i)]; }
    static constexpr int kRoot = 0;

    FolderOrder folderOrder() const { return m_order; }
    void setFolderOrder(FolderOrder order);

    // The folder's path from the root, separated by the root's separator.
    QString pathOf(int node) const;
    // The folder a file lies in.
    int folderOf(int file) const { return m_folderOf[static_cast<std::size_t>(file)]; }

  private:
    void sortChildren(int node);

    std::vector<FolderFile> m_files;
    std::vector<QString> m_names;
    std::vector<int> m_folderOf;
    std::vector<FolderNode> m_nodes;
    FolderOrder m_order = FolderOrder::Name;
};

// The files of entry `number`, read from the file table of `session` in its
// first tag (which lifts a range the file list set); the file table stays
// in that tag on a record of its own, and its view is suspended meanwhile.
std::vector<FolderFile> readEntryFiles(CatalogueSession& session, int number);

}  // namespace qv
