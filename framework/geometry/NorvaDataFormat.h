#pragma once
// Fixed-format record descriptors of structural solver decks: the Fortran edit descriptors
// that follow a block command ("(3i9,6e21.13e3)" after NBLOCK, "(19i9)" after EBLOCK) and
// fix the column ranges of the block's fields.
//
// Accepted descriptor syntax (blanks anywhere, any letter case):
//
//     ( item [, item ...] )
//     item   := [r] edit | [r] ( item [, item ...] ) | n X | k P
//     edit   := I w[.m] | E w.d[E e] | ES w.d[E e] | EN w.d[E e] | D w.d | F w.d | G w.d[E e]
//             | A w | L w
//
// r is a repeat count (default 1), w the field width, n the number of columns skipped
// (X alone skips one), k a scale factor (ignored: it changes how reals are written, not
// where). Commas between items may be left out where the next item starts with a letter or
// a parenthesis ("(3I8 6E16.9)"). Anything else raises data::invalid naming the descriptor
// and the position of the fault.
//
// splitDataLine cuts a line into the fields the descriptor lists, in order: field k is the
// text of columns [start_k, start_k + width_k). A line shorter than the record has fewer
// fields: a field that the line ends inside is kept when it holds more than blanks, and the
// fields after it are not returned (no zero-filled fields).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class NorvaDataFormat {
public:
    enum class FieldKind { Integer, Real, Text };
    struct Field {
        int start = 0; // first column, counted from 0
        int width = 0;
        FieldKind kind = FieldKind::Integer;
    };

    // Parses `format` (the descriptor line as read, leading and trailing blanks allowed).
    // data::invalid (class "NorvaDataFormat", operation "NorvaDataFormat") for a descriptor
    // it cannot read.
    explicit NorvaDataFormat(const std::string& format);

    // The data fields of one record, skipped columns left out.
    const std::vector<Field>& getFields() const { return m_fields; }
    std::size_t getNumFields() const { return m_fields.size(); }
    // Number of columns of a full record (data fields and skipped columns).
    int getRecordWidth() const { return m_width; }

    // The fields of `line` as texts (see above).
    std::vector<std::string> splitDataLine(const std::string& line) const;
    // The same into `fields` (replaced), as views into `line`; returns their number. For
    // the bulk readers: no allocation once `fields` has grown to the record's size.
    std::size_t splitDataLine(std::string_view line, std::vector<std::string_view>& fields) const;

private:
    std::vector<Field> m_fields;
    int m_width = 0;
};

} // namespace zel
