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
// Not thread-safe; the program has one thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <cstdint>

#include "store/tdatasource.h"

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

  private:
    TTable& boundTable() const;
    xb::Table& engine() const;
    // Writes the buffer of a table object in browse state at once and tells
    // the views; in edit or insert state only tells them of the field.
    void finishChange(TTable& tt, xb::Table& t, int field);

    QPointer<TDataSource> m_source;
};
