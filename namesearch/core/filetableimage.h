// The file table as the name search reads it: the records of `_qvdir.dbf`
// and the full names in its memo file, read with plain positional reads and
// no lock, so that a search can run beside the program holding the tables
// open and on several threads at once (every read names its offset; nothing
// here moves).
//
// The reader takes the files as they are when it reads them. Whether they
// changed since some earlier moment is told by their stamps (the content
// stamps the order-count cache compares as well): a search that must not
// see a table in the middle of a change compares the stamps before and
// after.
//
// Also here: the entries' titles and box/carrier numbers by entry number,
// read the same way from `_qvdisk.dbf`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

// One file record's facts; `catalogued` is false for released records and
// records flagged as deleted.
struct FileFacts {
    std::uint32_t recno = 0;
    std::uint32_t entry = 0;  // DIRNUMM
    std::int64_t size = 0;
    std::int32_t date = 0;  // Julian day, 0 for none
    bool catalogued = false;
};

struct EntryFacts {
    std::string title;  // BEZEICH, trimmed, UTF-8
    int box = 0;
    int disk = 0;
};

class FileTableImage {
  public:
    // Opens `dir`/_qvdir.dbf (and its memo file) for reading. Raises an
    // error naming the file when it is missing or its header is damaged.
    explicit FileTableImage(const std::string& dir);
    ~FileTableImage();
    FileTableImage(const FileTableImage&) = delete;
    FileTableImage& operator=(const FileTableImage&) = delete;

    const std::string& directory() const { return m_dir; }
    // The records the file held when it was opened.
    std::uint32_t recordCount() const { return m_count; }
    std::size_t recordLength() const { return m_recordLength; }

    // Reads records first ... first + n - 1 (within recordCount()) into
    // `buffer`, n * recordLength() bytes; fewer when the file was cut since.
    std::uint32_t readRecords(std::uint32_t first, std::uint32_t n,
                              std::vector<std::uint8_t>& buffer) const;
    FileFacts facts(std::uint32_t recno, const std::uint8_t* record) const;
    // The full path in UTF-8: the memo where one is kept, else DIRPFAD
    // trimmed; "/dir/ name" form.
    void fullPath(const std::uint8_t* record, std::string& out) const;
    // The same for one record read on its own ("" past the end).
    std::string fullPathOf(std::uint32_t recno) const;
    // The two sources of fullPath() apart: the memo text in UTF-8 (a view
    // into what readMemoFile() read, else read into `scratch`; empty when
    // the record keeps none), and DIRPFAD trimmed, in Windows-1252.
    std::string_view memoText(const std::uint8_t* record, std::string& scratch) const;
    std::string_view pathField(const std::uint8_t* record) const;
    FileFacts factsOf(std::uint32_t recno) const;

    // Reads the whole memo file into memory at once, so that a pass over
    // all records reads no memo on its own. Memos beyond what was read then
    // (written later) are still read one by one.
    void readMemoFile();

    // The stamps of the file table and its memo file now.
    static std::string stampOf(const std::string& dir);

  private:
    std::string m_dir;
    int m_fd = -1;
    int m_memoFd = -1;
    std::uint32_t m_count = 0;
    std::size_t m_headerLength = 0;
    std::size_t m_recordLength = 0;
    std::uint32_t m_blockSize = 64;
    std::vector<char> m_memoFile;  // see readMemoFile()
    int m_num = 0, m_name = 0, m_path = 0, m_size = 0, m_date = 0, m_memo = -1;
    int m_pathWidth = 0, m_nameWidth = 0, m_numWidth = 0, m_sizeWidth = 0;
};

// The entries of the catalogue in `dir` by entry number (entries flagged as
// deleted left out).
std::unordered_map<std::uint32_t, EntryFacts> readEntryFacts(const std::string& dir);

// A number field's text as an integer (blanks read 0).
std::int64_t parseNumberField(const std::uint8_t* p, std::size_t width);

}  // namespace qv
