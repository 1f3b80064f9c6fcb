// One DBF file: its header and its records, addressed by record number.
//
// DbfFile knows nothing of a current record, memo texts or indexes; xb::Table
// builds the work area on top of it.
//
// Record count. As other xBase programs do, the count is derived from the
// file size, (size - header length) / record length, not taken from the
// header. A writable open repairs what a killed writer can leave behind: a
// trailing partial record is cut off (followed by a fresh 0x1A) and a header
// count that disagrees is rewritten (and the table counts as changed, so that
// finish() puts the 0x1A in place).
//
// Writes. Every record write is a single positional write (or, for a record
// already in the file, a copy into a shared mapping of it), so once it
// returns the record is in the file. The exception is a batch of appends
// (batchAppends()): appended records are then held and written together,
// every 256 KiB, when the batch ends and before anything reads or writes
// the file otherwise; a kill loses the held records, never others. An appended record is written
// together with a following 0x1A, so the file always ends in the end-of-file marker.
//
// Header in step. A record written outside a batch is followed by the
// header (count and last-update date) when either changed; a batch brings
// the header up to date each time it writes its held records and when it
// ends. Another reader of the file therefore finds the count it derives
// from the size in the header too, except for the instant between the two
// writes. An append that fails (a full disk) cuts the file back to the
// records it had and puts the 0x1A after them again.
//
// Reads go through a read-ahead window that is filled in large chunks while
// records are read in sequence (either direction) and kept up to date by
// writes.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "store/xbase/dbf_header.h"
#include "store/xbase/env.h"

namespace xb {

class DbfFile {
  public:
    // Reads and checks the header (Corrupt naming the file on any damage, see
    // parseDbfHeader). A writable file is repaired as described above. The
    // header's date comes from the clock of `env`.
    DbfFile(std::unique_ptr<RandomFile> file, bool writable, Env& env);

    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    const std::string& path() const { return file_->path(); }
    const DbfHeader& header() const { return header_; }
    const FieldList& fields() const { return header_.fields; }
    std::uint32_t recordCount() const { return count_; }
    std::uint16_t recordLength() const { return header_.recordLength; }
    std::uint16_t headerLength() const { return header_.headerLength; }
    bool writable() const { return writable_; }
    // True when records were written since the header was last written.
    bool changed() const { return changed_; }
    // What the writable open repaired (for tests and the store tool).
    bool repairedCount() const { return repairedCount_; }
    bool cutPartialRecord() const { return cutPartial_; }
    // Records the header counted beyond those in the file when it was opened
    // (the file was cut short; a killed writer only ever leaves the count
    // behind the file, never ahead of it).
    std::uint32_t missingRecords() const { return missing_; }

    // Copies record `recno` (1 ... recordCount()) into `dst` (recordLength()
    // bytes).
    void readRecord(std::uint32_t recno, std::uint8_t* dst);
    // Copies records first ... first + n - 1 (all inside 1 ... recordCount())
    // into `dst` (n * recordLength() bytes) with one read, bypassing the
    // read-ahead window: for scans over the whole table.
    void readRecords(std::uint32_t first, std::uint32_t n, std::uint8_t* dst);
    // Records first ... first + n - 1 (all inside 1 ... recordCount()) as
    // the file holds them, in its view, mapped in ahead of a pass over all
    // of them; null where the file has no view. Valid until the next call
    // on this file.
    const std::uint8_t* recordsView(std::uint32_t first, std::uint32_t n);
    // Copies the records numbered recnos[0 .. n) (each inside 1 ...
    // recordCount()) into `dst`, one after another, each with a read call of
    // its own: records scattered over a large file (a grid's rows in an
    // index order) would otherwise fault the mapping's pages in one by one,
    // at many times the price of the call.
    void readScattered(const std::uint32_t* recnos, std::size_t n, std::uint8_t* dst);
    // The header as it is in the file (headerLength() bytes).
    std::vector<std::uint8_t> headerBytes();
    // REQUIRES: writable(), 1 <= recno <= recordCount().
    void writeRecord(std::uint32_t recno, const std::uint8_t* src);
    // Writes `src` as record recordCount() + 1, followed by 0x1A, and
    // returns its number. REQUIRES: writable().
    std::uint32_t appendRecord(const std::uint8_t* src);

    // Sets header byte 28 and rewrites the header at once. REQUIRES: writable().
    void setFlags(std::uint8_t flags);
    // Rewrites the header with the current count and today's date.
    void writeHeader();
    // When changed(): rewrites the header, puts one 0x1A after the last record
    // and cuts the file right after it.
    void finish();
    void sync() {
        writeAppends();
        file_->sync();
    }
    // Cuts the table back to its first `count` records (held appends go
    // unwritten): the file ends with their end mark and the header counts
    // them. Needs no room. REQUIRES: writable().
    void cutBack(std::uint32_t count);
    // Starts (true) or ends (false, writing what is held) a batch of appends.
    void batchAppends(bool on);
    // Writes the held appended records, followed by 0x1A.
    void writeAppends();

  private:
    std::uint64_t offsetOf(std::uint32_t recno) const {
        return header_.headerLength + std::uint64_t{recno - 1} * header_.recordLength;
    }
    void writeEofMarker();
    // Writes the header when its count or date is not the current one.
    void headerInStep();
    // Today's date by the Env's clock; the calendar reading is kept for the
    // second it was made in.
    void currentDate(int& year, int& month, int& day);
    // After a failed append at `end`: the file cut back to `end` + 0x1A.
    void restoreEnd(std::uint64_t end);
    // Records in the file itself; the rest of count_ is held.
    std::uint32_t inFile() const {
        return count_ - static_cast<std::uint32_t>(held_.size() / header_.recordLength);
    }

    std::unique_ptr<RandomFile> file_;
    Env* env_;  // the clock for the header date
    DbfHeader header_;
    bool writable_;
    std::uint32_t count_ = 0;
    std::uint64_t size_ = 0;  // file size as this object left it
    bool changed_ = false;
    bool repairedCount_ = false;
    bool cutPartial_ = false;
    std::uint32_t missing_ = 0;

    // Read-ahead window: records winFirst_ ... winFirst_ + winCount_ - 1.
    std::vector<std::uint8_t> window_;
    std::uint32_t winFirst_ = 0;
    std::uint32_t winCount_ = 0;
    std::uint32_t lastRead_ = 0;
    std::size_t seqBytes_ = 0;           // size of the last window read in sequence
    std::vector<std::uint8_t> scratch_;  // record + 0x1A for appends
    bool useMap_ = true;                 // false once the file refused a writable view
    static constexpr std::uint32_t kReadCallJumps = 256;
    std::uint32_t jumps_ = 0;  // records read out of sequence
    bool batchAppends_ = false;
    std::vector<std::uint8_t> held_;  // appended records not yet written
    std::time_t dateAt_ = -1;         // the second the date below was read
    int dateY_ = 0, dateM_ = 0, dateD_ = 0;
};

}  // namespace xb
