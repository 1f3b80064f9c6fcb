// TTable, the table object of the data module: one catalogue table opened
// through the engine, with a current record, the states browse, edit and
// insert, field access in Unicode, and notifications for the views bound to
// it. TField is the accessor for one field of the current record.
//
// Opening. DatabaseName (a directory) plus TableName (".dbf" added when the
// name has no extension) name the data file. Every writable open is
// exclusive: the engine holds an operating-system lock, so a second opener
// (another table object or another program) gets the engine's qv::Error
// naming the file, and the first one stays as it was. ReadOnly opens in the
// engine's shared read-only mode and refuses every change. Opening an open
// table changes nothing. Properties that name the file can only be set while
// the table is closed (IndexName selects its tag at once on an open table).
//
// States. dsInactive (closed), dsBrowse, dsEdit (Edit()), dsInsert (Append()
// and Insert(), which both add the new record at the physical end, as xBase
// does). Post() writes the record: when it returns the record is in the file.
// Cancel() drops the changes; a cancelled insert leaves no record and the
// table returns to the record it stood on. Every move (First, Last, Next,
// Prior, MoveBy, setRecNo) and every Delete() in edit or insert state posts
// first; Close() drops unposted changes instead. Delete() only flags the
// record; with the engine's deleted setting on, the record leaves the view and
// the table moves on to the next visible record (to the last one when there
// is no next).
//
// Reading accessors of a closed table give neutral values (Eof() and Bof()
// true, RecNo() and RecordCount() 0); every operation on a closed table
// raises a State error. Errors of the engine pass through unchanged.
//
// Notifications. The table reports every change to its views through
// dataEvent(): Scroll after each move (one per call, also when the table
// could not move further), RecordChange after Post(), Cancel(), Append() and
// Insert() and after the engine access object wrote the current record
// directly, FieldChange after a field of the current record was set,
// DataSetChange after open, close, delete, refresh and any change of order,
// range or subset, StateChange after every change of state. A post that
// precedes a move gives StateChange, RecordChange and then Scroll. Moves made
// by an engine access object or through a second view are reported the same
// way, because they all go through the one table object.
//
// Field display definitions. Each table object carries a list of display
// definitions (label, display width, visible) in display order, empty by
// default. Grids take their columns from displayFields(): the definitions
// when there are any, else every field of the open table in file order with
// its name as label. A field without a definition in a non-empty list is not
// shown (it can still be read and written).
//
// Not thread-safe; the program has one thread.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace xb {
class Table;
}

class TTable;
class TApollo;

// How one field appears in grids.
struct FieldDisplayDef {
    QString fieldName;  // matched in any case
    QString label;      // column title; empty: the field name
    int width = 0;      // display width in characters; 0: the field's own width
    bool visible = true;

    bool operator==(const FieldDisplayDef&) const = default;
};

// One field of a table object's current record. A small value that names the
// table and the field; it stays usable while the table stays open (after a
// Close() every access raises a State error).
//
// Reading: AsString() gives the text padded to the field width (N fields:
// the stored text; D fields: the date in the engine's date format, blanks for
// the empty date; M fields: the memo text), converted from Windows-1252.
// AsInteger() gives the whole number of an N field, 0 when the field is blank
// (IsNull() tells blank apart from 0); on a C field the text must be a whole
// number.
//
// Writing (table in edit or insert state, else a State error): setAsString()
// converts to Windows-1252 ("?" for a character without a form) and cuts to
// the width; on N fields the text must be a number (blank text empties the
// field), on D fields a date in the engine's date format (blank empties it).
// Conversion failures raise the conversion errors of the program
// ("'abc' ist kein gültiger Integerwert").
class TField {
  public:
    TField() = default;

    QString FieldName() const;  // upper case, as stored
    char DataType() const;      // 'C', 'N', 'D', 'L', 'M', ...
    int Size() const;           // width in bytes
    int Decimals() const;
    int FieldNo() const;  // 1-based position in the file

    QString AsString() const;
    void setAsString(const QString& text);
    int AsInteger() const;
    void setAsInteger(int value);
    // N fields beyond the 32-bit range (file sizes).
    qint64 AsLargeInt() const;
    void setAsLargeInt(qint64 value);
    double AsFloat() const;
    // D fields; a null QDate is the empty date.
    QDate AsDate() const;
    void setAsDate(const QDate& date);
    // M fields: the memo text (the same as AsString()).
    QString memoText() const { return AsString(); }
    void setMemoText(const QString& text) { setAsString(text); }

    // Blank (never written or emptied): an empty N field, an empty date, an
    // M field without a memo.
    bool IsNull() const;
    // Back to blank.
    void Clear();

    // From the table's display definitions.
    QString DisplayLabel() const;
    int DisplayWidth() const;
    bool Visible() const;

  private:
    friend class TTable;
    TField(TTable* table, int index, std::uint64_t serial)
        : m_table(table), m_index(index), m_serial(serial) {}

    xb::Table& engine() const;
    xb::Table& editEngine() const;  // REQUIRES: the table in edit or insert state
    void changed() const;

    TTable* m_table = nullptr;
    int m_index = -1;
    std::uint64_t m_serial = 0;
};

class TTable : public QObject {
    Q_OBJECT

  public:
    enum State { dsInactive, dsBrowse, dsEdit, dsInsert };
    Q_ENUM(State)

    enum class DataEvent { Scroll, RecordChange, FieldChange, DataSetChange, StateChange };
    Q_ENUM(DataEvent)

    // The only table type: DBF tables with NSX index files.
    static const QString kTableType;  // "ttSXNSX"

    explicit TTable(QObject* parent = nullptr);
    ~TTable() override;

    // ---- properties (settable only while closed, except IndexName) ----
    QString DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& dir);
    QString TableName() const { return m_tableName; }
    void setTableName(const QString& name);
    QString TableType() const { return m_tableType; }
    void setTableType(const QString& type);
    bool Exclusive() const { return m_exclusive; }
    void setExclusive(bool on);
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool on);
    // A tag of the production index made current at opening (empty: record
    // order). Opening fails with a NotFound error naming the table when the
    // index has no such tag. Set on an open table it selects the tag at once
    // (posting an edit first); the current record stays current.
    QString IndexName() const { return m_indexName; }
    void setIndexName(const QString& tag);
    // The data file: DatabaseName/TableName, ".dbf" added when TableName has
    // no extension.
    QString filePath() const;

    // ---- opening ----
    void Open();
    void Close();
    bool Active() const { return m_engine != nullptr; }
    void setActive(bool on) { on ? Open() : Close(); }
    State state() const { return m_state; }

    // ---- navigation ----
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves up to n records (negative: backwards) and returns how many it
    // moved; stops at either end with Eof() or Bof() set.
    int MoveBy(int n);
    // The current record number (RecordCount() + 1 past the end and while
    // inserting).
    int RecNo() const;
    // Goes to record `recno`, deleted or not; outside 1 ... RecordCount()
    // the table stands past the end (Eof()).
    void setRecNo(int recno);
    bool Eof() const;
    bool Bof() const;
    // All records of the file, flagged ones included.
    int RecordCount() const;
    // Reads the current record again from the file (posting first).
    void Refresh();

    // ---- fields ----
    int FieldCount() const;
    TField Fields(int index) const;  // 0-based
    // Any case; NotFound error naming the table when there is no such field.
    TField FieldByName(const QString& name) const;
    bool hasField(const QString& name) const;

    // ---- states ----
    void Append();
    void Insert();
    // On a table without a current record (empty or past the end) Edit()
    // starts an insert, as the data-aware layer always did.
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts an edit or insert; does nothing in browse state.
    void CheckBrowseMode();

    // ---- whole records ----
    // The current record (deletion flag and every field; memo fields as
    // references).
    QByteArray CopyRecord() const;
    // Puts a record taken with CopyRecord() (from this table or one of the
    // same layout) into the current record, in edit or insert state. Memo
    // texts are copied, so the two records' memos are independent afterwards.
    void PasteRecord(const QByteArray& record);

    // ---- field display definitions ----
    const QList<FieldDisplayDef>& fieldDisplayDefs() const { return m_displayDefs; }
    void setFieldDisplayDefs(const QList<FieldDisplayDef>& defs);
    // The columns grids show, in display order, labels and widths resolved
    // (see above); invisible fields included with visible = false.
    QList<FieldDisplayDef> displayFields() const;
    // Moves the named fields to the front of the display order, in the order
    // given; the others follow in their previous order. Without definitions
    // the open table's fields become the definitions first.
    void setDisplayOrder(const QStringList& fieldNames);

    // ---- engine access (engine access objects, grid models) ----
    // The open engine table, or nullptr when closed. Changing it directly
    // bypasses the states and notifications; TApollo is the way to do it.
    xb::Table* engine() const { return m_engine.get(); }

  signals:
    // `field` is the 0-based field for FieldChange, else -1.
    void dataEvent(TTable::DataEvent event, int field);
    // The display definitions or their order changed.
    void displayDefsChanged();

  private:
    friend class TField;
    friend class TApollo;

    // Field values from program values, as TField's setters and the engine
    // access object's replace write them (conversion errors included).
    static void assignText(xb::Table& t, int field, const QString& text);
    static void assignWhole(xb::Table& t, int field, qint64 value);

    xb::Table& activeEngine() const;    // State error when closed
    xb::Table& browseEngine();          // active, any edit posted
    xb::Table& writableEngine() const;  // active and not read-only
    void requireClosed(const char* what) const;
    void setState(State s);
    void notify(DataEvent event, int field = -1);
    int fieldIndexOf(const QString& name) const;
    int requireField(const QString& name) const;  // NotFound error naming the table
    static int tagPositionOf(const xb::Table& t, const QString& tag);  // NotFound when missing
    QString displayLabelOf(int field) const;
    int displayWidthOf(int field) const;
    bool visibleOf(int field) const;
    const FieldDisplayDef* displayDefOf(int field) const;

    QString m_databaseName;
    QString m_tableName;
    QString m_tableType;
    bool m_exclusive = true;
    bool m_readOnly = false;
    QString m_indexName;
    QList<FieldDisplayDef> m_displayDefs;

    std::unique_ptr<xb::Table> m_engine;
    State m_state = dsInactive;
    std::uint64_t m_serial = 0;  // counts opens; TField values of an old open fail
};
