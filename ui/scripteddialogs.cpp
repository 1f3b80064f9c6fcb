#include "ui/scripteddialogs.h"

namespace qv {

void ScriptedDialogs::clear() {
    m_answers.clear();
    m_inputs.clear();
    m_paths.clear();
    m_shown.clear();
    m_unanswered = 0;
}

MsgAnswer ScriptedDialogs::message(const QString& text, const QString& caption, MsgIcon icon,
                                   MsgButtons buttons) {
    Shown s;
    s.kind = Shown::Message;
    s.text = text;
    s.caption = caption;
    s.icon = icon;
    s.buttons = buttons;
    m_shown.push_back(s);
    if (!m_answers.empty()) {
        const MsgAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    ++m_unanswered;
    return closedAnswer(buttons);
}

InputResult ScriptedDialogs::input(const QString& caption, const QString& prompt,
                                   const QString& value, int maxLength) {
    Shown s;
    s.kind = Shown::Input;
    s.text = prompt;
    s.caption = caption;
    s.value = value;
    s.maxLength = maxLength;
    m_shown.push_back(s);
    if (!m_inputs.empty()) {
        InputResult r = m_inputs.front();
        m_inputs.pop_front();
        if (r.ok && r.value.size() > maxLength) r.value.truncate(maxLength);
        return r;
    }
    ++m_unanswered;
    return {};
}

QString ScriptedDialogs::nextPath() {
    if (m_paths.empty()) {
        ++m_unanswered;
        return {};
    }
    QString p = m_paths.front();
    m_paths.pop_front();
    return p;
}

QString ScriptedDialogs::openFile(const QString& caption, const QString& directory,
                                  const QString& filter) {
    Shown s;
    s.kind = Shown::OpenFile;
    s.caption = caption;
    s.value = directory;
    s.filter = filter;
    m_shown.push_back(s);
    return nextPath();
}

QString ScriptedDialogs::chooseDirectory(const QString& caption, const QString& directory) {
    Shown s;
    s.kind = Shown::Directory;
    s.caption = caption;
    s.value = directory;
    m_shown.push_back(s);
    return nextPath();
}

}  // namespace qv
