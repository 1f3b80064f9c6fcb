// Message and input boxes. Every box the program shows goes through the
// current Dialogs object, so that tests can answer boxes in advance
// (ScriptedDialogs) while the program shows real ones (WidgetDialogs).
#pragma once

#include <QString>

namespace qv {

enum class MsgIcon { None, Information, Question, Warning, Error, Stop };
// YesNoDefaultNo: Yes and No with No as the default button (questions that
// put data at risk).
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// The answer of a box with `buttons` closed without choosing a button: its
// cancel or No button, or OK for a box with OK alone.
constexpr MsgAnswer closedAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoDefaultNo:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Cancel;
    }
}

struct InputResult {
    bool ok = false;  // false: the box was cancelled
    QString value;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A modal message box with `text`, window caption `caption`, an icon and
    // buttons; returns the button the user chose (closing the box counts as
    // its cancel or No button, or OK for a box with OK alone).
    virtual MsgAnswer message(const QString& text, const QString& caption, MsgIcon icon,
                              MsgButtons buttons) = 0;

    // A one-line input box with caption, prompt and a starting value; the
    // input takes at most `maxLength` characters.
    virtual InputResult input(const QString& caption, const QString& prompt, const QString& value,
                              int maxLength = 255) = 0;

    // A file-open box starting in `directory`; `filter` is a name filter in
    // Qt's form ("Tabellen (*.dbf)"), matched without regard to case. Returns
    // the chosen file, or "" when the box was cancelled.
    virtual QString openFile(const QString& caption, const QString& directory,
                             const QString& filter) = 0;
    // A box choosing an existing directory; "" when cancelled.
    virtual QString chooseDirectory(const QString& caption, const QString& directory) = 0;
};

// The boxes of the running program: the ones installed last, or real boxes.
Dialogs& dialogs();
// Installs `d` (not owned); nullptr goes back to real boxes.
void setDialogs(Dialogs* d);

// Installs a Dialogs object for the lifetime of the guard, then restores the
// previous one.
class ScopedDialogs {
  public:
    explicit ScopedDialogs(Dialogs* d);
    ~ScopedDialogs();
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

  private:
    Dialogs* m_previous;
};

// Short forms.
inline MsgAnswer message(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons = MsgButtons::Ok) {
    return dialogs().message(text, caption, icon, buttons);
}
inline InputResult inputBox(const QString& caption, const QString& prompt,
                            const QString& value = QString(), int maxLength = 255) {
    return dialogs().input(caption, prompt, value, maxLength);
}

}  // namespace qv
