#include "framework/geometry/NorvaDataFormat.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <cctype>

namespace zel {

namespace {

const char* const kClass = "NorvaDataFormat";

// Bounds that no deck format comes near; they keep a hostile descriptor ("(99999(99999I9))")
// from exhausting memory.
constexpr long kMaxFields = 100000;
constexpr long kMaxColumns = 10000000;
constexpr int kMaxDepth = 16;

// One column range of a record before the start columns are known: a data field, or
// skipped columns (skip = true).
struct Slot {
    int width = 0;
    NorvaDataFormat::FieldKind kind = NorvaDataFormat::FieldKind::Integer;
    bool skip = false;
};

class DescriptorParser {
public:
    explicit DescriptorParser(const std::string& text) : m_text(text) {}

    std::vector<Slot> parse() {
        std::vector<Slot> slots;
        skipBlanks();
        if (!consume('(')) fail("a format begins with '('");
        parseGroup(slots, 1);
        skipBlanks();
        if (m_pos != m_text.size()) fail("text after the closing parenthesis");
        std::size_t data = 0;
        for (const Slot& s : slots) data += !s.skip;
        if (data == 0) fail("the format names no field");
        return slots;
    }

private:
    [[noreturn]] void fail(const char* what) const {
        throw data::invalid(kClass, kClass,
                            _("Invalid data format '%s': %s (character %d).", m_text, what, int(m_pos) + 1), ErrError);
    }

    void skipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
    }
    bool atDigit() const { return m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos])); }
    char peekUpper() const {
        return m_pos < m_text.size() ? char(std::toupper(static_cast<unsigned char>(m_text[m_pos]))) : '\0';
    }
    bool consume(char c) {
        if (m_pos < m_text.size() && char(std::toupper(static_cast<unsigned char>(m_text[m_pos]))) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    // Unsigned decimal digits (a number ends at a blank).
    long readNumber() {
        if (!atDigit()) fail("a number is expected");
        long value = 0;
        while (atDigit()) {
            value = value * 10 + (m_text[m_pos++] - '0');
            if (value > kMaxColumns) fail("number too large");
        }
        return value;
    }

    // The items of a group up to and including its ')'.
    void parseGroup(std::vector<Slot>& out, int depth) {
        if (depth > kMaxDepth) fail("groups nested too deeply");
        bool first = true;
        for (;;) {
            skipBlanks();
            if (consume(')')) {
                if (first) fail("an empty group");
                return;
            }
            if (m_pos >= m_text.size()) fail("missing ')'");
            if (!first && consume(',')) skipBlanks();
            if (consume(')')) fail("an item is expected before ')'");
            parseItem(out, depth);
            first = false;
        }
    }

    void append(std::vector<Slot>& out, const std::vector<Slot>& items, long repeat) {
        if (long(out.size()) + long(items.size()) * repeat > kMaxFields) fail("too many fields");
        for (long r = 0; r < repeat; ++r) out.insert(out.end(), items.begin(), items.end());
    }

    void parseItem(std::vector<Slot>& out, int depth) {
        // A scale factor (kP), possibly signed, changes nothing about the columns.
        std::size_t start = m_pos;
        if (m_pos < m_text.size() && (m_text[m_pos] == '-' || m_text[m_pos] == '+')) ++m_pos;
        if (atDigit()) {
            readNumber();
            if (consume('P')) {
                skipBlanks();
                if (m_pos < m_text.size() && m_text[m_pos] != ',' && m_text[m_pos] != ')') parseItem(out, depth);
                return;
            }
        }
        m_pos = start;
        if (m_pos < m_text.size() && (m_text[m_pos] == '-' || m_text[m_pos] == '+')) fail("a sign without 'P'");

        const bool repeated = atDigit();
        const long repeat = repeated ? readNumber() : 1;
        if (repeated && repeat == 0) fail("a repeat count of 0");
        skipBlanks();
        if (consume('(')) {
            std::vector<Slot> group;
            parseGroup(group, depth + 1);
            append(out, group, repeat);
            return;
        }
        const char letter = peekUpper();
        if (letter == '\0') fail("missing ')'");
        ++m_pos;
        if (letter == 'X') {
            append(out, {Slot{int(repeat), NorvaDataFormat::FieldKind::Integer, true}}, 1);
            return;
        }
        NorvaDataFormat::FieldKind kind = NorvaDataFormat::FieldKind::Real;
        bool needsDecimals = true;
        bool takesExponent = false;
        switch (letter) {
        case 'I':
            kind = NorvaDataFormat::FieldKind::Integer;
            needsDecimals = false;
            break;
        case 'E':
            if (!consume('S')) consume('N');
            takesExponent = true;
            break;
        case 'G':
            needsDecimals = false;
            takesExponent = true;
            break;
        case 'D':
        case 'F': break;
        case 'A':
        case 'L':
            kind = NorvaDataFormat::FieldKind::Text;
            needsDecimals = false;
            break;
        default: --m_pos; fail("an unknown edit descriptor");
        }
        if (!atDigit()) fail("a field width is expected");
        const long width = readNumber();
        if (width == 0) fail("a field width of 0");
        if (consume('.')) {
            readNumber();
        } else if (needsDecimals) {
            fail("the number of decimals ('.d') is missing");
        }
        if (takesExponent && consume('E')) readNumber();
        append(out, {Slot{int(width), kind, false}}, repeat);
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

} // namespace

NorvaDataFormat::NorvaDataFormat(const std::string& format) {
    long column = 0;
    for (const Slot& slot : DescriptorParser(format).parse()) {
        if (!slot.skip) m_fields.push_back(Field{int(column), slot.width, slot.kind});
        column += slot.width;
        if (column > kMaxColumns)
            throw data::invalid(kClass, kClass, _("Invalid data format '%s': the record is too wide.", format),
                                ErrError);
    }
    m_width = int(column);
}

std::size_t NorvaDataFormat::splitDataLine(std::string_view line, std::vector<std::string_view>& fields) const {
    fields.clear();
    for (const Field& f : m_fields) {
        const std::size_t start = std::size_t(f.start);
        if (start >= line.size()) break;
        const std::size_t end = std::min(line.size(), start + std::size_t(f.width));
        const std::string_view text = line.substr(start, end - start);
        const bool cut = end < start + std::size_t(f.width);
        if (cut && isBlank(text)) break;
        fields.push_back(text);
        if (cut) break;
    }
    return fields.size();
}

std::vector<std::string> NorvaDataFormat::splitDataLine(const std::string& line) const {
    std::vector<std::string_view> views;
    splitDataLine(std::string_view(line), views);
    return std::vector<std::string>(views.begin(), views.end());
}

} // namespace zel
