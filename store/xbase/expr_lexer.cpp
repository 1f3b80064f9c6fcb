#include "store/xbase/expr_lexer.h"

#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"

namespace xb::exprdetail {

namespace {

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A dotted word such as .and. or .T.; returns End when the word is unknown.
Tok dottedWord(std::string_view word) {
    if (sameWord(word, "and")) return Tok::And;
    if (sameWord(word, "or")) return Tok::Or;
    if (sameWord(word, "not")) return Tok::Not;
    if (sameWord(word, "t") || sameWord(word, "y")) return Tok::True;
    if (sameWord(word, "f") || sameWord(word, "n")) return Tok::False;
    return Tok::End;
}

// Scans one token starting at `i` (not on a blank).
Token scan(std::string_view s, std::size_t i) {
    const std::size_t n = s.size();
    Token t;
    t.pos = static_cast<std::uint32_t>(i);
    auto done = [&](Tok k, std::size_t len) {
        t.kind = k;
        t.len = static_cast<std::uint32_t>(len);
        return t;
    };
    auto bad = [&](BadToken why, std::size_t len) {
        t.bad = why;
        return done(Tok::Bad, len);
    };
    const char c = s[i];
    const char c1 = i + 1 < n ? s[i + 1] : '\0';

    if (isLetter(c)) {
        std::size_t j = i + 1;
        while (j < n && (isLetter(s[j]) || isDigit(s[j])))
            ++j;
        return done(Tok::Ident, j - i);
    }
    if (isDigit(c) || (c == '.' && isDigit(c1))) {
        std::size_t j = i;
        while (j < n && isDigit(s[j]))
            ++j;
        // A point belongs to the number unless a letter follows it: in
        // "1.and." the point starts the operator.
        if (j < n && s[j] == '.' && !(j + 1 < n && isLetter(s[j + 1]))) {
            ++j;
            while (j < n && isDigit(s[j]))
                ++j;
        }
        return done(Tok::Number, j - i);
    }
    if (c == '.') {
        std::size_t j = i + 1;
        while (j < n && isLetter(s[j]))
            ++j;
        if (j > i + 1 && j < n && s[j] == '.') {
            const Tok k = dottedWord(s.substr(i + 1, j - i - 1));
            if (k != Tok::End) return done(k, j + 1 - i);
            return bad(BadToken::UnknownDotted, j + 1 - i);
        }
        return bad(BadToken::UnknownCharacter, 1);
    }
    if (c == '"' || c == '\'') {
        const std::size_t close = s.find(c, i + 1);
        if (close == std::string_view::npos) return bad(BadToken::UnterminatedString, n - i);
        return done(Tok::String, close + 1 - i);
    }
    switch (c) {
        case '+':
            return done(Tok::Plus, 1);
        case '-':
            return done(Tok::Minus, 1);
        case '*':
            return done(Tok::Star, 1);
        case '/':
            return done(Tok::Slash, 1);
        case '(':
            return done(Tok::LParen, 1);
        case ')':
            return done(Tok::RParen, 1);
        case ',':
            return done(Tok::Comma, 1);
        case '#':
            return done(Tok::Ne, 1);
        case '=':
            return c1 == '=' ? done(Tok::EqEq, 2) : done(Tok::Eq, 1);
        case '!':
            return c1 == '=' ? done(Tok::Ne, 2) : done(Tok::Not, 1);
        case '<':
            if (c1 == '=') return done(Tok::Le, 2);
            if (c1 == '>') return done(Tok::Ne, 2);
            return done(Tok::Lt, 1);
        case '>':
            return c1 == '=' ? done(Tok::Ge, 2) : done(Tok::Gt, 1);
        default:
            return bad(BadToken::UnknownCharacter, 1);
    }
}

}  // namespace

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    for (;;) {
        while (i < s.size() && isSpace(s[i]))
            ++i;
        if (i >= s.size()) {
            Token end;
            end.pos = static_cast<std::uint32_t>(s.size());
            out.push_back(end);
            return out;
        }
        const Token t = scan(s, i);
        out.push_back(t);
        if (t.kind == Tok::Bad) return out;
        i += t.len;
    }
}

bool sameWord(std::string_view word, std::string_view lowerName) {
    if (word.size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lowerName[i]) return false;
    }
    return true;
}

bool endsOperand(Tok t) {
    switch (t) {
        case Tok::Ident:
        case Tok::Number:
        case Tok::String:
        case Tok::True:
        case Tok::False:
        case Tok::RParen:
            return true;
        default:
            return false;
    }
}

bool beginsOperand(Tok t) {
    switch (t) {
        case Tok::Ident:
        case Tok::Number:
        case Tok::String:
        case Tok::True:
        case Tok::False:
        case Tok::LParen:
        case Tok::Not:
        case Tok::Plus:
        case Tok::Minus:
            return true;
        default:
            return false;
    }
}

void throwSyntax(std::string_view text, std::string_view reason, std::size_t pos) {
    // Very long texts are shortened; the position still counts in the full text.
    constexpr std::size_t kShown = 200;
    std::string shown = cp1252ToUtf8(text.substr(0, kShown));
    if (text.size() > kShown) shown += "…";
    std::string msg = "Ungültiger Ausdruck \"" + shown + "\": ";
    msg += reason;
    if (pos != std::string_view::npos) msg += " (Position " + std::to_string(pos + 1) + ")";
    throw qv::Error(qv::ErrorCode::Syntax, std::move(msg));
}

std::string describeToken(std::string_view text, const Token& t) {
    if (t.kind == Tok::End) return "Ende des Ausdrucks";
    std::string_view s = t.in(text);
    if (s.size() > 40) s = s.substr(0, 40);
    std::string out(1, '"');
    out += cp1252ToUtf8(s);
    out += '"';
    return out;
}

}  // namespace xb::exprdetail
