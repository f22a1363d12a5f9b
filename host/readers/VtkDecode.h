#pragma once
// Byte-level helpers shared by the legacy and XML VTK readers: scalar types, ASCII number
// lists, base64, byte order, zlib blocks. They know nothing about files; a fault is thrown as
// DecodeFault with the byte position (relative to the text or bytes they were given) and the
// reader that called them turns it into a CaseReadError naming the file and the array.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/readers/CaseData.h"

namespace zel::host::vtkio {

struct DecodeFault : std::runtime_error {
    DecodeFault(const std::string& message, std::size_t position) : std::runtime_error(message), position(position) {}
    std::size_t position; // byte position in the input the helper was given
};

enum class ScalarType : std::uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64, Float32, Float64 };

std::size_t scalarSize(ScalarType type);
bool isFloating(ScalarType type);
const char* scalarTypeName(ScalarType type); // the XML name ("Float32")
// XML type names, with the old aliases VTK still accepts ("Int", "Float", "Double"...).
std::optional<ScalarType> xmlScalarType(std::string_view name);
// Legacy type names ("float", "unsigned_char", "vtkIdType", "vtktypeint64"...), case-insensitive.
std::optional<ScalarType> legacyScalarType(std::string_view name);

// Values of one scalar type in the machine's byte order: #count * scalarSize(type) bytes.
struct TypedData {
    ScalarType type = ScalarType::Float32;
    std::vector<unsigned char> bytes;
    std::size_t count() const { return bytes.size() / scalarSize(type); }
};

// Reverses the bytes of every element (for data written in the other byte order).
void swapBytes(std::span<unsigned char> bytes, std::size_t elementSize);
bool hostIsLittleEndian();

// Values as they will be kept: Float32 and the 8/16-bit integers as float, the rest as double.
RealArray toRealArray(const TypedData& data);
// Integer values (connectivity, offsets, types); floating values are refused.
std::vector<std::int64_t> toInt64(const TypedData& data);

// Parses one number token into the type; false if it is not a number of that type (or out of
// its range). Integer types also take a floating token that holds an integer ("3.0").
bool parseNumber(std::string_view token, ScalarType type, unsigned char* out);

// Parses every whitespace-separated number of `text` (an XML ascii DataArray).
TypedData parseAsciiList(std::string_view text, ScalarType type);

// Decodes base64 incrementally. Whitespace between characters is skipped; padding ('=') may
// end any group of four, so that separately encoded runs (a compression header followed by the
// compressed data, as VTK writes them) decode as one stream. Groups of four plain symbols take
// one table look-up per character and one test per group; whitespace, padding and faults are
// handled off that path.
class Base64Reader {
public:
    explicit Base64Reader(std::string_view text) : m_text(text) {}
    // Writes exactly n decoded bytes to out[0, n); throws DecodeFault when the text ends first or
    // holds a character outside the alphabet (out's contents are then unspecified).
    void read(std::size_t n, unsigned char* out);
    // Appends exactly n decoded bytes to out; on a fault out keeps its former size.
    void read(std::size_t n, std::vector<unsigned char>& out);
    // Upper bound of the bytes still to come (for checking sizes claimed by headers).
    std::size_t maxRemaining() const { return (m_text.size() - m_pos) / 4 * 3 + 3 + m_pendingCount; }
    std::size_t textPosition() const { return m_pos; }

private:
    // Decodes the next group of four symbols (skipping whitespace) into m_pending.
    void readGroup(std::size_t wanted);

    std::string_view m_text;
    std::size_t m_pos = 0;
    unsigned char m_pending[3] = {0, 0, 0};
    std::size_t m_pendingFirst = 0;
    std::size_t m_pendingCount = 0;
};

// The bytes of a binary DataArray: inline base64, appended base64, or appended raw.
class ByteSource {
public:
    static ByteSource raw(std::span<const unsigned char> bytes) { return ByteSource(bytes); }
    static ByteSource base64(std::string_view text) { return ByteSource(text); }

    // Writes n bytes to out[0, n); throws DecodeFault("... truncated ...") when fewer remain.
    void read(std::size_t n, unsigned char* out);
    // Appends n bytes to out.
    void read(std::size_t n, std::vector<unsigned char>& out);
    // The next n bytes: in place for raw bytes, else decoded into `scratch`. Valid until the
    // next call or until `scratch` changes.
    const unsigned char* take(std::size_t n, std::vector<unsigned char>& scratch);
    std::size_t maxRemaining() const;
    // Position reached, in the raw bytes or in the base64 text.
    std::size_t position() const { return m_isBase64 ? m_b64.textPosition() : m_rawPos; }

private:
    explicit ByteSource(std::span<const unsigned char> bytes) : m_raw(bytes), m_b64({}) {}
    explicit ByteSource(std::string_view text) : m_b64(text), m_isBase64(true) {}
    void checkRaw(std::size_t n) const;

    std::span<const unsigned char> m_raw;
    std::size_t m_rawPos = 0;
    Base64Reader m_b64;
    bool m_isBase64 = false;
};

struct BinaryLayout {
    bool header64 = false;   // header_type UInt64 (else UInt32)
    bool compressed = false; // vtkZLibDataCompressor blocks
    bool swap = false;       // file byte order differs from the machine's
};

// Reads one binary DataArray: the size header (or the compression header and its blocks) and
// the data. expectedBytes, when known, is checked against the header before anything is
// allocated, so that a corrupt header gives a clear message instead of a huge allocation.
TypedData readBinaryArray(ByteSource& source, const BinaryLayout& layout, ScalarType type,
                          std::optional<std::uint64_t> expectedBytes);

// The same, with the values (in the machine's byte order) decoded straight into the memory
// that `destination(bytes)` returns: called once, after the header checks, with the data's
// size in bytes; it must return room for that many bytes (owned by the caller).
using DestinationFn = unsigned char* (*)(void* context, std::size_t bytes);
void readBinaryArrayInto(ByteSource& source, const BinaryLayout& layout, ScalarType type,
                         std::optional<std::uint64_t> expectedBytes, DestinationFn destination, void* context);

// readBinaryArrayInto a vector of T, which must be the file's type (or unsigned char for the
// bytes themselves); the vector is resized to the number of values.
template <typename T>
void readBinaryArrayInto(ByteSource& source, const BinaryLayout& layout, ScalarType type,
                         std::optional<std::uint64_t> expectedBytes, std::vector<T>& out) {
    readBinaryArrayInto(
        source, layout, type, expectedBytes,
        [](void* context, std::size_t bytes) {
            auto& v = *static_cast<std::vector<T>*>(context);
            v.resize(bytes / sizeof(T));
            return reinterpret_cast<unsigned char*>(v.data());
        },
        &out);
}

} // namespace zel::host::vtkio
