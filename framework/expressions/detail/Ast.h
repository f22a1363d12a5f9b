#pragma once
// The parse tree of one expression text. Positions are 0-based offsets into that text.
#include "framework/expressions/detail/Lexer.h"

#include <memory>
#include <string>
#include <vector>

namespace zel::expr {

struct AstNode {
    enum Kind { Number, Name, Unary, Binary, Call };
    Kind kind = Number;
    int pos = 0;   // first character of the whole node
    int end = 0;   // one past its last character
    int opPos = 0; // the operator's own position (Unary, Binary)
    Tok op = Tok::End;

    // Number
    double number = 0.0;
    std::string units; // text inside [ ], empty when none
    int unitsPos = 0;
    bool hasUnits = false;

    // Name, and the callee of a Call
    std::vector<Word> words;

    // Unary, Binary, Call
    std::vector<std::unique_ptr<AstNode>> args;

    // Call
    int argsPos = 0; // after '('
    int argsEnd = 0; // at ')'
    bool hasLocation = false;
    std::string location;
    int locationPos = 0;
};

// Parses a whole expression text; throws SyntaxError.
std::unique_ptr<AstNode> parseExpression(std::string_view text);

} // namespace zel::expr
