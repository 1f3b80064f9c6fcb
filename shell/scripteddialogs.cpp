#include "shell/scripteddialogs.h"

namespace qv {

void ScriptedDialogs::clear() {
    m_answers.clear();
    m_inputs.clear();
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
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Cancel;
    }
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

}  // namespace qv
