// The settings list: the lines of `_qvdisk.ini` in the program directory.
//
// The file is not sectioned: it is read and written as a whole, and every
// setting is addressed by its line number, counted from 0. Lines 1 to 12 are
// the names of the twelve status flags, lines 14 to 18 the label definition
// (whole numbers as text). On disk the text is Windows-1252 with CR LF line
// ends; reading also accepts LF and CR alone, keeps empty lines and does not
// count a final line break as an extra empty line. There is no version check:
// a file written by an older run is used as it is.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qv {

class SettingsList {
  public:
    static constexpr int kDefaultLineCount = 19;
    static constexpr int kFirstStatusLine = 1;  // status name 1
    static constexpr int kLastStatusLine = 12;  // status name 12
    static constexpr int kFirstLabelLine = 14;  // label definition: columns
    static constexpr int kLastLabelLine = 18;   // label definition: top margin

    static QString fileName() { return QStringLiteral("_qvdisk.ini"); }
    // The 19 lines written when the file does not exist yet.
    static const QStringList& defaultLines();

    // Creates the list from `<programDir>/_qvdisk.ini`; when the file does not
    // exist, fills in the default lines and writes them at once. Sets both
    // change notices. Raises a qv::Error when the file cannot be read. When
    // the new file cannot be written (a folder without write permission) the
    // list goes on with the defaults and unsavedReason() tells why.
    void load(const QString& programDir);
    // Why the defaults could not be written at load ("" when they were, or
    // the file was there).
    const QString& unsavedReason() const { return m_unsavedReason; }
    bool isLoaded() const { return m_loaded; }
    // Full path of the settings file (empty before load).
    const QString& filePath() const { return m_path; }

    int count() const { return static_cast<int>(m_lines.size()); }
    const QStringList& lines() const { return m_lines; }

    // Line i. A line beyond the list raises the list error
    // "Listenindex außerhalb des zulässigen Bereichs".
    QString line(int i) const;
    // Line i as a whole number; a text that is none raises the conversion
    // error "'<text>' ist kein gültiger Integerwert".
    int lineAsInt(int i) const;
    // Sets line i in memory (the same list error for a missing line).
    void replace(int i, const QString& text);
    // Line i, or its default when the list is shorter (a hand-shortened
    // file).
    QString lineOrDefault(int i) const;
    // Appends the default lines the list lacks, up to the 19 lines of a
    // complete file (in memory).
    void completeWithDefaults();
    // Puts `lines` back in memory (after a failed save: what the file holds).
    void setLines(const QStringList& lines) { m_lines = lines; }

    // Writes the whole list to the file, replacing it atomically: the new text
    // goes to a temporary file beside it that is then renamed over the old
    // one, so a failed save leaves the old file as it was. Then sets both
    // change notices. A failed save raises a qv::Error naming the file; the
    // list in memory keeps its values.
    void save();

    // Frees the list without writing it (end of the run).
    void release();

    // Change notices: set after every load and save. The entry dialog clears
    // its notice when it has re-read the status names; the main window's
    // notice stays set.
    bool entryDialogNotice() const { return m_entryDialogNotice; }
    void clearEntryDialogNotice() { m_entryDialogNotice = false; }
    bool mainWindowNotice() const { return m_mainWindowNotice; }
    void clearMainWindowNotice() { m_mainWindowNotice = false; }

    // File text <-> lines.
    static QStringList parse(const QByteArray& bytes);
    static QByteArray serialize(const QStringList& lines);

  private:
    void checkIndex(int i) const;
    void setNotices();
    void writeFile() const;

    QString m_path;
    QStringList m_lines;
    bool m_loaded = false;
    QString m_unsavedReason;
    bool m_entryDialogNotice = false;
    bool m_mainWindowNotice = false;
};

}  // namespace qv
