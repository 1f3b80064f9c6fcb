// TApollo, the engine access object: the engine operations on the table of
// the view it is bound to (seek, replace, tag selection, range, query,
// counts, order positions, expression evaluation, whole records, pack).
//
// Every call works on the bound view's table object and its open engine
// table; an unbound access object or a closed table raises a State error.
// After any move the table object reports it (dataChange of every view bound
// to the table), and after a change of order, range, subset or records the
// views refresh completely. Operations that move the table or change its
// order first post an edit or insert of the table object, as every move does.
//
// Replacing. sx_Replace() goes through the record buffer: with the table
// object in edit or insert state it changes the buffer (posted later with the
// table object), in browse state it writes the current record at once, as
// the engine does when it is called directly.
//
// Keys. Seek and range take the key as text: on a character tag the text in
// Windows-1252, compared with the leading characters of the keys; on a
// numeric tag the text of a number ("      12" finds 12), on a date tag a date
// text in the engine's date format. A seek that misses leaves the view past
// the last record (Eof()), whatever the engine's soft seek setting does on
// its own level; sx_Found() tells the outcome of the last seek.
//
// Not thread-safe; the program has one thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <cstdint>

#include "store/tdatasource.h"
#include "store/xbase/progress.h"

namespace xb {
class Table;
}

class TApollo : public QObject {
    Q_OBJECT

  public:
    // The type codes of sx_Replace().
    enum ReplaceType {
        ReplaceInteger = 1,     // a whole number (int or text of one)
        ReplaceLong = 2,        // the same
        ReplaceText = 1024,     // a text (numbers, dates and memos as text too)
        ReplaceDateText = 1056  // a date text in the engine's date format ("24.12.2024")
    };
    Q_ENUM(ReplaceType)

    explicit TApollo(QObject* parent = nullptr);
    explicit TApollo(TDataSource* source, QObject* parent = nullptr);

    TDataSource* DataSource() const { return m_source; }
    void setDataSource(TDataSource* source) { m_source = source; }
    // The bound view's table object, or nullptr.
    TTable* table() const;

    // ---- moves and positions ----
    void sx_GoTop();
    void sx_GoBottom();
    void sx_Skip(int n = 1);
    // Stands on record `recno` (deleted or not); past the end outside
    // 1 ... sx_RecCount().
    void sx_Go(int recno);
    int sx_RecNo() const;
    bool sx_Eof() const;
    bool sx_Bof() const;
    // All records of the file, flagged ones included.
    int sx_RecCount() const;

    // ---- fields and records ----
    // Writes `value` into `field` (any case) as `type` says: ReplaceText a
    // text, converted to Windows-1252 and cut to the width (N fields take a
    // number, D fields a date text); ReplaceInteger and ReplaceLong a whole
    // number (an int, or a text of one); ReplaceDateText a date text for a D
    // field. Conversion errors as the table object raises them.
    void sx_Replace(const QString& field, int type, const QVariant& value);
    // The value of an expression on the current record as text: characters
    // as they are, numbers as str(n), dates in the engine's date format,
    // logicals ".T." or ".F.". A malformed expression raises a Syntax error
    // naming it.
    QString sx_EvalString(const QString& expression);
    // The whole current record (deletion flag and all fields).
    QByteArray sx_GetRecord() const;
    // Puts a whole record into the current one (memo texts copied, so the
    // two records' memos are independent afterwards).
    void sx_PutRecord(const QByteArray& record);
    // Posts an edit or insert and brings everything written so far to the
    // files.
    void sx_Commit();

    // ---- index tags (the production index beside the table) ----
    // Makes tag `position` the current order (0 = record order); Range error
    // outside 0 ... sx_TagCount(). Lifts the range; the current record stays
    // current.
    void sx_SetOrder(int position);
    // The same by tag name (any case); NotFound error naming the table when
    // there is no such tag. An empty name selects record order.
    void sx_SetOrderByName(const QString& tag);
    int sx_IndexOrd() const;  // current tag position, 0 = record order
    int sx_TagCount() const;
    QString sx_TagName(int position) const;  // upper case; Range error outside the tags
    // Creates (or re-creates in its place) a tag over `keyExpr` with an
    // optional FOR condition, creating the index file when there is none;
    // progress through the engine's gauge hook. The new tag becomes the
    // current order and the table goes to its first record.
    void sx_IndexTag(const QString& tag, const QString& keyExpr, const QString& condition = {},
                     bool unique = false, bool descending = false);
    // Rebuilds every tag from the records; the table goes to its first record.
    void sx_Reindex();
    // Removes the flagged records for good, renumbers, rebuilds the tags;
    // the table goes to its first record.
    void sx_Pack();
    // The receiver of the progress of index builds and packs (engine-wide);
    // an empty function clears it.
    static void sx_SetGaugeHook(xb::ProgressFn receiver);

    // ---- seek and range (current tag) ----
    bool sx_Seek(const QString& key);
    bool sx_Found() const;
    // Limits the current tag to keys from `low` to `high` (each compared
    // over its own length; low and high in key order, on a descending tag
    // too) and goes to the first record in range (past the end when there is
    // none). An empty bound leaves that end open; both empty lift the range
    // without moving.
    void sx_SetScope(const QString& low, const QString& high);

    // ---- counts and positions (order, range, subset, filter, deleted setting) ----
    qint64 sx_Count() const;
    // 1-based position of the current record in the current order; 0 past
    // the end or when the record is not shown there.
    qint64 sx_OrderRecNo() const;

    // ---- subset and filter ----
    // 0: no tag helps, 1: some clauses are answered from tags, 2: all are.
    int sx_QueryTest(const QString& expression);
    // Installs the records matching the expression as the table's subset and
    // goes to the first of them; "" lifts it.
    void sx_Query(const QString& expression);
    bool sx_GetQueryBit(int recno) const;
    // Adds a record to the subset or takes it out (State error without one).
    void sx_SetQueryBit(int recno, bool on);
    // Shows only records for which the expression is true; "" lifts it. The
    // table stays where it is.
    void sx_SetFilter(const QString& expression);

  private:
    TTable& boundTable() const;
    xb::Table& engine() const;
    // Writes the buffer of a table object in browse state at once and tells
    // the views; in edit or insert state only tells them of the field.
    void finishChange(TTable& tt, xb::Table& t, int field);
    // The key bytes of `text` for the current tag (see above).
    std::string keyBytes(xb::Table& t, const QString& text) const;
    // Runs `op` on the engine after posting an edit and tells every view
    // that the records or their order changed.
    template <typename Op>
    void reshape(Op&& op);

    QPointer<TDataSource> m_source;
};
