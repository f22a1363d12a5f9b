// Precedence, lowest first: ||, &&, == !=, < <= > >=, + -, * /, unary - + !, ^ (right
// associative, so -x^2 is -(x^2) and 2^-1 is 0.5).
#include "framework/expressions/detail/Ast.h"

namespace zel::expr {

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_lex(text) { advance(); }

    std::unique_ptr<AstNode> parseAll() {
        if (m_cur.kind == Tok::End) throw SyntaxError{0, "empty expression"};
        auto node = parseBinary(0);
        if (m_cur.kind != Tok::End) {
            if (m_cur.kind == Tok::RParen) throw SyntaxError{m_cur.pos, "')' without a matching '('"};
            throw SyntaxError{m_cur.pos,
                              std::string("unexpected ").append(Lexer::describe(m_cur)).append(" (missing operator?)")};
        }
        return node;
    }

private:
    void advance() { m_cur = m_lex.next(); }

    static int precedence(Tok t) {
        switch (t) {
        case Tok::OrOr: return 1;
        case Tok::AndAnd: return 2;
        case Tok::EqEq:
        case Tok::NotEq: return 3;
        case Tok::Less:
        case Tok::LessEq:
        case Tok::Greater:
        case Tok::GreaterEq: return 4;
        case Tok::Plus:
        case Tok::Minus: return 5;
        case Tok::Star:
        case Tok::Slash: return 6;
        default: return 0;
        }
    }

    std::unique_ptr<AstNode> parseBinary(int minPrec) {
        auto lhs = parseUnary();
        for (;;) {
            const int prec = precedence(m_cur.kind);
            if (prec == 0 || prec <= minPrec) return lhs;
            auto node = std::make_unique<AstNode>();
            node->kind = AstNode::Binary;
            node->op = m_cur.kind;
            node->opPos = m_cur.pos;
            advance();
            auto rhs = parseBinary(prec);
            node->pos = lhs->pos;
            node->end = rhs->end;
            node->args.push_back(std::move(lhs));
            node->args.push_back(std::move(rhs));
            lhs = std::move(node);
        }
    }

    std::unique_ptr<AstNode> parseUnary() {
        if (m_cur.kind == Tok::Minus || m_cur.kind == Tok::Plus || m_cur.kind == Tok::Bang) {
            auto node = std::make_unique<AstNode>();
            node->kind = AstNode::Unary;
            node->op = m_cur.kind;
            node->pos = node->opPos = m_cur.pos;
            advance();
            auto operand = parseUnary();
            node->end = operand->end;
            node->args.push_back(std::move(operand));
            return node;
        }
        return parsePower();
    }

    std::unique_ptr<AstNode> parsePower() {
        auto base = parsePrimary();
        if (m_cur.kind != Tok::Caret) return base;
        auto node = std::make_unique<AstNode>();
        node->kind = AstNode::Binary;
        node->op = Tok::Caret;
        node->opPos = m_cur.pos;
        advance();
        auto exponent = parseUnary();
        node->pos = base->pos;
        node->end = exponent->end;
        node->args.push_back(std::move(base));
        node->args.push_back(std::move(exponent));
        return node;
    }

    std::unique_ptr<AstNode> parsePrimary() {
        auto node = std::make_unique<AstNode>();
        node->pos = m_cur.pos;
        switch (m_cur.kind) {
        case Tok::Number:
            node->kind = AstNode::Number;
            node->number = m_cur.number;
            node->end = m_cur.end;
            advance();
            if (m_cur.kind == Tok::Units) {
                node->hasUnits = true;
                node->units = m_cur.text;
                node->unitsPos = m_cur.pos + 1;
                node->end = m_cur.end;
                advance();
            }
            return node;
        case Tok::Name:
            node->words = m_cur.words;
            node->end = m_cur.end;
            advance();
            if (m_cur.kind == Tok::LParen) return parseCall(std::move(node));
            node->kind = AstNode::Name;
            if (m_cur.kind == Tok::Units) throw SyntaxError{m_cur.pos, "units in brackets may only follow a number"};
            return node;
        case Tok::LParen: {
            advance();
            if (m_cur.kind == Tok::RParen) throw SyntaxError{m_cur.pos, "empty parentheses"};
            auto inner = parseBinary(0);
            if (m_cur.kind != Tok::RParen)
                throw SyntaxError{m_cur.pos, std::string("missing ')' before ").append(Lexer::describe(m_cur))};
            inner->pos = node->pos; // the parentheses belong to the operand in messages
            inner->end = m_cur.end;
            advance();
            return inner;
        }
        case Tok::End: throw SyntaxError{m_cur.pos, "unexpected end of expression (an operand is missing)"};
        case Tok::Units: throw SyntaxError{m_cur.pos, "units in brackets may only follow a number"};
        case Tok::RParen: throw SyntaxError{m_cur.pos, "unexpected ')' (an operand is missing)"};
        default: break;
        }
        throw SyntaxError{m_cur.pos,
                          std::string("unexpected ").append(Lexer::describe(m_cur)).append(" (an operand is missing)")};
    }

    std::unique_ptr<AstNode> parseCall(std::unique_ptr<AstNode> node) {
        node->kind = AstNode::Call;
        node->argsPos = m_cur.end;
        advance(); // '('
        if (m_cur.kind != Tok::RParen) {
            for (;;) {
                node->args.push_back(parseBinary(0));
                if (m_cur.kind == Tok::Comma) {
                    advance();
                    continue;
                }
                if (m_cur.kind != Tok::RParen)
                    throw SyntaxError{m_cur.pos, std::string("missing ')' before ").append(Lexer::describe(m_cur))};
                break;
            }
        }
        node->argsEnd = m_cur.pos;
        node->end = m_cur.end;
        // The location must be read before the lexer moves past ')'.
        Token after = m_lex.next();
        if (after.kind == Tok::At) {
            node->hasLocation = true;
            node->location = m_lex.readLocation(node->locationPos);
            if (node->location.empty()) throw SyntaxError{after.pos, "missing location after '@'"};
            node->end = m_lex.cursor();
            advance();
        } else {
            m_cur = std::move(after);
        }
        return node;
    }

    Lexer m_lex;
    Token m_cur;
};

} // namespace

std::unique_ptr<AstNode> parseExpression(std::string_view text) {
    Parser parser(text);
    return parser.parseAll();
}

} // namespace zel::expr
