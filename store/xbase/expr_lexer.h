// Splits an expression text into tokens, and the shared pieces of the
// expression compiler's error messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xb::exprdetail {

enum class Tok : std::uint8_t {
    End,     // past the last character
    Bad,     // a character or string the language does not have; `bad` says why
    Ident,   // a name: field, function, or the bare words not/and/or
    Number,  // 12, 12.5, .5, 12.
    String,  // "..." or '...'; the token includes the quotes
    True,    // .T. .Y.
    False,   // .F. .N.
    And,     // .and.
    Or,      // .or.
    Not,     // .not. or !
    Plus,
    Minus,
    Star,
    Slash,
    LParen,
    RParen,
    Comma,
    Eq,    // =
    EqEq,  // ==
    Ne,    // <> # !=
    Lt,
    Le,
    Gt,
    Ge,
};

enum class BadToken : std::uint8_t { None, UnterminatedString, UnknownCharacter, UnknownDotted };

struct Token {
    Tok kind = Tok::End;
    BadToken bad = BadToken::None;
    std::uint32_t pos = 0;  // offset of the first byte in the text
    std::uint32_t len = 0;  // bytes the token covers

    std::string_view in(std::string_view text) const { return text.substr(pos, len); }
};

// Tokens of `text` up to and including the first End or Bad token.
std::vector<Token> tokenize(std::string_view text);

// Case-insensitive comparison of an ASCII word with a lower-case name.
bool sameWord(std::string_view word, std::string_view lowerName);

// True when the token ends an operand, so that the bare words and/or after it
// are operators.
bool endsOperand(Tok t);
// True when the token can begin an operand, so that a bare not before it is
// the operator.
bool beginsOperand(Tok t);

// The message of a compile error: Ungültiger Ausdruck "<text>": <reason>
// (Position <pos + 1>); no position part when pos is npos.
[[noreturn]] void throwSyntax(std::string_view text, std::string_view reason,
                              std::size_t pos = std::string_view::npos);

// A token as an error message quotes it ("\"+\"", "das Ende des Ausdrucks").
std::string describeToken(std::string_view text, const Token& t);

}  // namespace xb::exprdetail
