// Boxes for tests: answers are queued in advance, and every box that would
// have been shown is recorded with its texts, icon and buttons.
#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "ui/dialogs.h"

namespace qv {

class ScriptedDialogs : public Dialogs {
  public:
    struct Shown {
        enum Kind { Message, Input, OpenFile, Directory } kind = Message;
        QString text;  // message text, or the input prompt
        QString caption;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
        QString value;   // input boxes: the starting value; file boxes: the directory
        QString filter;  // file-open boxes
        int maxLength = 0;
    };

    // Answers for the next message boxes, in order.
    void queueAnswer(MsgAnswer a) { m_answers.push_back(a); }
    // Results for the next input boxes, in order.
    void queueInput(bool ok, const QString& value = QString()) { m_inputs.push_back({ok, value}); }

    // Answers for the next file-open and directory boxes, in order ("" cancels).
    void queuePath(const QString& path) { m_paths.push_back(path); }

    const std::vector<Shown>& shown() const { return m_shown; }
    // The last box shown; the list must not be empty.
    const Shown& last() const { return m_shown.back(); }
    // Boxes that found no queued answer (they got their cancel-like answer).
    int unanswered() const { return m_unanswered; }
    void clear();

    MsgAnswer message(const QString& text, const QString& caption, MsgIcon icon,
                      MsgButtons buttons) override;
    InputResult input(const QString& caption, const QString& prompt, const QString& value,
                      int maxLength) override;
    QString openFile(const QString& caption, const QString& directory,
                     const QString& filter) override;
    QString chooseDirectory(const QString& caption, const QString& directory) override;

  private:
    QString nextPath();
    std::deque<QString> m_paths;
    std::deque<MsgAnswer> m_answers;
    std::deque<InputResult> m_inputs;
    std::vector<Shown> m_shown;
    int m_unanswered = 0;
};

}  // namespace qv
