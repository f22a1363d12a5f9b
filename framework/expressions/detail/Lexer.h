#pragma once
// Tokens of the expression language. Names are runs of words joined by blanks and dots
// ("Wall Heat Transfer Coefficient", "Water.Velocity", "Velocity.Gradient X"); the compiler
// decides which leading words form a known name. A word that is followed by '(' starts a
// function call and never continues a name joined by a blank.
#include <string>
#include <string_view>
#include <vector>

namespace zel::expr {

enum class Tok {
    End,
    Number,
    Name,
    Units,
    Plus,
    Minus,
    Star,
    Slash,
    Caret,
    Less,
    LessEq,
    Greater,
    GreaterEq,
    EqEq,
    NotEq,
    AndAnd,
    OrOr,
    Bang,
    LParen,
    RParen,
    Comma,
    At
};

// One word of a name run; `dotBefore` is true when a '.' (not a blank) joins it to the
// word before, i.e. it starts a new dot-separated segment.
struct Word {
    std::string text;
    int pos = 0; // 0-based offset of its first character
    bool dotBefore = false;
};

struct Token {
    Tok kind = Tok::End;
    int pos = 0; // 0-based offset of the first character
    int end = 0; // one past the last character
    double number = 0.0;
    std::string text;        // units text inside [ ], the source text otherwise
    std::vector<Word> words; // Name only
};

// Thrown by the lexer and the parser; the compiler turns it into the library's error with
// the expression's text.
struct SyntaxError {
    int pos;
    std::string message;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : m_text(text) {}

    Token next();
    // Reads the location after '@' (the cursor stands right after it): a double-quoted text,
    // or the text up to the next operator, parenthesis, comma or the end, trimmed.
    // pos receives the 0-based offset of its first character.
    std::string readLocation(int& pos);
    int cursor() const { return static_cast<int>(m_pos); }

    static bool isWordStart(char c);
    static bool isWordChar(char c);
    static std::string describe(const Token& t);

private:
    void skipBlanks();
    std::size_t wordEnd(std::size_t from) const;
    Token lexNumber();
    Token lexName();

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Names of the built-in functions (sqrt, abs, ..., if).
bool isBuiltinFunction(std::string_view word);

} // namespace zel::expr
