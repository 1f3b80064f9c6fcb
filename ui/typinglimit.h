// A line edit's typing limit that still lets a longer text the program put
// in (a value taken from a list, a name loaded from a file) be shortened.
#pragma once

#include <QLineEdit>
#include <QValidator>

namespace qv {

// Refuses typing past `limit` characters, but never a text that does not
// grow. The editor already holds the changed text when it asks, so the
// length before the change is kept here.
class TypingLimit : public QValidator {
  public:
    TypingLimit(QLineEdit* edit, int limit) : QValidator(edit), m_limit(limit) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { m_length = text.size(); });
    }
    State validate(QString& input, int&) const override {
        if (input.size() > m_limit && input.size() > m_length) return Invalid;
        return Acceptable;
    }

  private:
    int m_limit;
    qsizetype m_length = 0;
};

}  // namespace qv
