// The editor of an entry's additional text, "Eingabe des Zusatztextes": a
// resizable window with a text area, a "Speichern" and an "Abbrechen"
// button and an edit menu. It keeps its size and place between uses; its
// text is replaced at every opening.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>

class QAction;
class QMenuBar;
class QStatusBar;
class QToolButton;

namespace qv {

// The text area: Ctrl+Del deletes the selection (as the edit menu's item
// does) instead of the word after the caret.
class MemoEdit : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit MemoEdit(QWidget* parent = nullptr);
    // Deletes the selection without touching the clipboard.
    void deleteSelection();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A stored memo text as the text area shows it (every line break one
// paragraph), and the area's text as stored: lines joined with CR LF and
// no break after the last one. No-break spaces are kept.
QString memoForDisplay(const QString& stored);
QString memoForStore(const QPlainTextEdit& edit);

}  // namespace qv

// Object `ZusatztextEingabe`.
class TZusatztextEingabe : public QDialog {
    Q_OBJECT

  public:
    explicit TZusatztextEingabe(QWidget* parent = nullptr);

    // Shows `text`, runs the window modally and, when it is left through
    // "Speichern", returns true with the text to store in `text`. An
    // unchanged text comes back exactly as it was given.
    bool run(QString& text);

    // The text to store for what the area holds now.
    QString textToStore() const;

    QToolButton* BitBtn1 = nullptr;  // "Speichern"
    QToolButton* BitBtn2 = nullptr;  // "Abbrechen"
    qv::MemoEdit* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QAction* Ausschneiden1 = nullptr;
    QAction* Kopieren1 = nullptr;
    QAction* Einfuegen1 = nullptr;
    QAction* Loeschen1 = nullptr;
    QAction* Allesauswaehlen1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString m_original;
    QString m_originalShown;
    bool m_placed = false;
};
