#include "framework/expressions/detail/Lexer.h"

#include <array>
#include <cstdlib>

namespace zel::expr {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) {
    // Bytes of UTF-8 sequences count as letters, so names in any script lex as words.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}

constexpr std::array<std::string_view, 16> kBuiltins = {"sqrt", "abs",  "exp",  "loge",  "log10", "sin", "cos",  "tan",
                                                        "asin", "acos", "atan", "atan2", "min",   "max", "step", "if"};
} // namespace

bool isBuiltinFunction(std::string_view word) {
    for (auto b : kBuiltins)
        if (b == word) return true;
    return false;
}

bool Lexer::isWordStart(char c) { return isLetter(c) || c == '_'; }
bool Lexer::isWordChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }

void Lexer::skipBlanks() {
    while (m_pos < m_text.size() && isBlank(m_text[m_pos])) ++m_pos;
}

std::size_t Lexer::wordEnd(std::size_t from) const {
    while (from < m_text.size() && isWordChar(m_text[from])) ++from;
    return from;
}

std::string Lexer::describe(const Token& t) {
    if (t.kind == Tok::End) return "end of expression";
    std::string out = t.kind == Tok::Units ? "'[" : "'";
    out.append(t.text).append(t.kind == Tok::Units ? "]'" : "'");
    return out;
}

Token Lexer::next() {
    skipBlanks();
    Token t;
    t.pos = static_cast<int>(m_pos);
    if (m_pos >= m_text.size()) {
        t.kind = Tok::End;
        t.end = t.pos;
        return t;
    }
    const char c = m_text[m_pos];
    if (isDigit(c) || (c == '.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]))) return lexNumber();
    if (isWordStart(c)) return lexName();

    auto single = [&](Tok kind, std::size_t len) {
        t.kind = kind;
        t.text = std::string(m_text.substr(m_pos, len));
        m_pos += len;
        t.end = static_cast<int>(m_pos);
        return t;
    };
    const char n = m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : '\0';
    switch (c) {
    case '+': return single(Tok::Plus, 1);
    case '-': return single(Tok::Minus, 1);
    case '*': return single(Tok::Star, 1);
    case '/': return single(Tok::Slash, 1);
    case '^': return single(Tok::Caret, 1);
    case '(': return single(Tok::LParen, 1);
    case ')': return single(Tok::RParen, 1);
    case ',': return single(Tok::Comma, 1);
    case '@': return single(Tok::At, 1);
    case '<': return n == '=' ? single(Tok::LessEq, 2) : single(Tok::Less, 1);
    case '>': return n == '=' ? single(Tok::GreaterEq, 2) : single(Tok::Greater, 1);
    case '=':
        if (n == '=') return single(Tok::EqEq, 2);
        throw SyntaxError{t.pos, "'=' is no operator (write '==' to compare)"};
    case '!': return n == '=' ? single(Tok::NotEq, 2) : single(Tok::Bang, 1);
    case '&':
        if (n == '&') return single(Tok::AndAnd, 2);
        throw SyntaxError{t.pos, "'&' is no operator (write '&&')"};
    case '|':
        if (n == '|') return single(Tok::OrOr, 2);
        throw SyntaxError{t.pos, "'|' is no operator (write '||')"};
    case '[': {
        const std::size_t close = m_text.find(']', m_pos + 1);
        if (close == std::string_view::npos) throw SyntaxError{t.pos, "'[' without a closing ']'"};
        t.kind = Tok::Units;
        t.text = std::string(m_text.substr(m_pos + 1, close - m_pos - 1));
        m_pos = close + 1;
        t.end = static_cast<int>(m_pos);
        return t;
    }
    case ']': throw SyntaxError{t.pos, "']' without an opening '['"};
    default: break;
    }
    throw SyntaxError{t.pos, std::string("unexpected character '") + c + "'"};
}

Token Lexer::lexNumber() {
    Token t;
    t.kind = Tok::Number;
    t.pos = static_cast<int>(m_pos);
    std::size_t i = m_pos;
    while (i < m_text.size() && isDigit(m_text[i])) ++i;
    if (i < m_text.size() && m_text[i] == '.') {
        ++i;
        while (i < m_text.size() && isDigit(m_text[i])) ++i;
    }
    if (i < m_text.size() && (m_text[i] == 'e' || m_text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < m_text.size() && (m_text[j] == '+' || m_text[j] == '-')) ++j;
        if (j < m_text.size() && isDigit(m_text[j])) {
            while (j < m_text.size() && isDigit(m_text[j])) ++j;
            i = j;
        } else {
            throw SyntaxError{static_cast<int>(i), "incomplete exponent in number"};
        }
    }
    if (i < m_text.size() && isWordStart(m_text[i]))
        throw SyntaxError{static_cast<int>(i), "a number runs into a name (missing operator?)"};
    t.text = std::string(m_text.substr(m_pos, i - m_pos));
    t.number = std::strtod(t.text.c_str(), nullptr);
    m_pos = i;
    t.end = static_cast<int>(m_pos);
    return t;
}

Token Lexer::lexName() {
    Token t;
    t.kind = Tok::Name;
    t.pos = static_cast<int>(m_pos);
    bool dot = false;
    for (;;) {
        const std::size_t e = wordEnd(m_pos);
        t.words.push_back(Word{std::string(m_text.substr(m_pos, e - m_pos)), static_cast<int>(m_pos), dot});
        m_pos = e;
        // '.' directly followed by a word character continues the name with a new segment.
        if (m_pos + 1 < m_text.size() && m_text[m_pos] == '.' && isWordChar(m_text[m_pos + 1])) {
            ++m_pos;
            dot = true;
            continue;
        }
        // Blanks followed by a word continue the name, unless that word opens a call.
        std::size_t j = m_pos;
        while (j < m_text.size() && isBlank(m_text[j])) ++j;
        if (j == m_pos || j >= m_text.size() || !isWordChar(m_text[j])) break;
        std::size_t k = wordEnd(j);
        while (k < m_text.size() && isBlank(m_text[k])) ++k;
        if (k < m_text.size() && m_text[k] == '(') break;
        m_pos = j;
        dot = false;
    }
    t.end = static_cast<int>(m_pos);
    t.text = std::string(m_text.substr(static_cast<std::size_t>(t.pos), m_pos - static_cast<std::size_t>(t.pos)));
    return t;
}

std::string Lexer::readLocation(int& pos) {
    skipBlanks();
    pos = static_cast<int>(m_pos);
    if (m_pos < m_text.size() && m_text[m_pos] == '"') {
        const std::size_t close = m_text.find('"', m_pos + 1);
        if (close == std::string_view::npos) throw SyntaxError{pos, "location in '\"' without a closing '\"'"};
        std::string loc(m_text.substr(m_pos + 1, close - m_pos - 1));
        m_pos = close + 1;
        ++pos;
        return loc;
    }
    const std::string_view stops = "+-*/^<>=!&|(),[]@\"";
    std::size_t i = m_pos;
    while (i < m_text.size() && stops.find(m_text[i]) == std::string_view::npos) ++i;
    std::size_t e = i;
    while (e > m_pos && isBlank(m_text[e - 1])) --e;
    std::string loc(m_text.substr(m_pos, e - m_pos));
    m_pos = i;
    return loc;
}

} // namespace zel::expr
