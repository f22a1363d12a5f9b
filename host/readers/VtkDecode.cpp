#include "host/readers/VtkDecode.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/core/Format.h"

namespace zel::host::vtkio {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v'; }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

template <typename T> void storeAs(T value, unsigned char* out) { std::memcpy(out, &value, sizeof(T)); }

template <typename T> T loadAs(const unsigned char* in) {
    T value;
    std::memcpy(&value, in, sizeof(T));
    return value;
}

// Parses a floating token, falling back to strtod for values from_chars calls out of range
// (denormals such as 1e-310 that solvers do write).
bool parseDouble(std::string_view token, double& value) {
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec == std::errc() && end == token.data() + token.size()) return true;
    if (ec != std::errc::result_out_of_range || token.size() > 63) return false;
    char buffer[64];
    std::memcpy(buffer, token.data(), token.size());
    buffer[token.size()] = '\0';
    char* stop = nullptr;
    value = std::strtod(buffer, &stop);
    return stop == buffer + token.size();
}

template <typename T> bool parseInteger(std::string_view token, unsigned char* out) {
    T value{};
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec == std::errc() && end == token.data() + token.size()) {
        storeAs(value, out);
        return true;
    }
    // A writer that prints integers as reals ("3.0", "1e3").
    double d = 0;
    if (ec == std::errc::result_out_of_range || !parseDouble(token, d) || d != std::floor(d)) return false;
    if (d < double(std::numeric_limits<T>::lowest()) || d > double(std::numeric_limits<T>::max())) return false;
    storeAs(static_cast<T>(d), out);
    return true;
}

constexpr unsigned char kB64Skip = 64;
constexpr unsigned char kB64Pad = 65;
constexpr unsigned char kB64Bad = 255;

constexpr std::array<unsigned char, 256> makeBase64Table() {
    std::array<unsigned char, 256> t{};
    for (auto& v : t) v = kB64Bad;
    for (int i = 0; i < 26; ++i) {
        t[std::size_t('A' + i)] = static_cast<unsigned char>(i);
        t[std::size_t('a' + i)] = static_cast<unsigned char>(26 + i);
    }
    for (int i = 0; i < 10; ++i) t[std::size_t('0' + i)] = static_cast<unsigned char>(52 + i);
    t[std::size_t('+')] = 62;
    t[std::size_t('/')] = 63;
    t[std::size_t('=')] = kB64Pad;
    for (char c : {' ', '\n', '\r', '\t', '\f', '\v'}) t[static_cast<unsigned char>(c)] = kB64Skip;
    return t;
}
constexpr std::array<unsigned char, 256> kBase64 = makeBase64Table();

// Per position in a group of four: the symbol's six bits in place within the group's 24 bits,
// or kB64Special for anything that is not a plain symbol (whitespace, padding, a bad byte).
constexpr std::uint32_t kB64Special = 0x01000000u;
using Base64PositionTables = std::array<std::array<std::uint32_t, 256>, 4>;
constexpr Base64PositionTables makeBase64PositionTables() {
    Base64PositionTables t{};
    for (std::size_t c = 0; c < 256; ++c) {
        const unsigned v = kBase64[c];
        for (std::size_t k = 0; k < 4; ++k) t[k][c] = v < 64 ? std::uint32_t(v) << (18 - 6 * k) : kB64Special;
    }
    return t;
}
constexpr Base64PositionTables kBase64At = makeBase64PositionTables();

std::string printable(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) return std::string("'") + c + "'";
    return _("byte 0x%02x", unsigned(u));
}

} // namespace

std::size_t scalarSize(ScalarType type) {
    switch (type) {
    case ScalarType::Int8:
    case ScalarType::UInt8: return 1;
    case ScalarType::Int16:
    case ScalarType::UInt16: return 2;
    case ScalarType::Int32:
    case ScalarType::UInt32:
    case ScalarType::Float32: return 4;
    case ScalarType::Int64:
    case ScalarType::UInt64:
    case ScalarType::Float64: return 8;
    }
    return 1;
}

bool isFloating(ScalarType type) { return type == ScalarType::Float32 || type == ScalarType::Float64; }

const char* scalarTypeName(ScalarType type) {
    switch (type) {
    case ScalarType::Int8: return "Int8";
    case ScalarType::UInt8: return "UInt8";
    case ScalarType::Int16: return "Int16";
    case ScalarType::UInt16: return "UInt16";
    case ScalarType::Int32: return "Int32";
    case ScalarType::UInt32: return "UInt32";
    case ScalarType::Int64: return "Int64";
    case ScalarType::UInt64: return "UInt64";
    case ScalarType::Float32: return "Float32";
    case ScalarType::Float64: return "Float64";
    }
    return "?";
}

std::optional<ScalarType> xmlScalarType(std::string_view name) {
    static const std::pair<std::string_view, ScalarType> table[] = {
        {"Int8", ScalarType::Int8},
        {"UInt8", ScalarType::UInt8},
        {"Int16", ScalarType::Int16},
        {"UInt16", ScalarType::UInt16},
        {"Int32", ScalarType::Int32},
        {"UInt32", ScalarType::UInt32},
        {"Int64", ScalarType::Int64},
        {"UInt64", ScalarType::UInt64},
        {"Float32", ScalarType::Float32},
        {"Float64", ScalarType::Float64},
        // Names of files from before the sized names.
        {"Char", ScalarType::Int8},
        {"UnsignedChar", ScalarType::UInt8},
        {"Short", ScalarType::Int16},
        {"UnsignedShort", ScalarType::UInt16},
        {"Int", ScalarType::Int32},
        {"UnsignedInt", ScalarType::UInt32},
        {"Float", ScalarType::Float32},
        {"Double", ScalarType::Float64},
    };
    for (const auto& [n, t] : table)
        if (n == name) return t;
    return std::nullopt;
}

std::optional<ScalarType> legacyScalarType(std::string_view name) {
    static const std::pair<std::string_view, ScalarType> table[] = {
        {"unsigned_char", ScalarType::UInt8},
        {"char", ScalarType::Int8},
        {"signed_char", ScalarType::Int8},
        {"unsigned_short", ScalarType::UInt16},
        {"short", ScalarType::Int16},
        {"unsigned_int", ScalarType::UInt32},
        {"int", ScalarType::Int32},
        // The legacy format stores long as 64 bits on the platforms that write it (LP64).
        {"unsigned_long", ScalarType::UInt64},
        {"long", ScalarType::Int64},
        {"unsigned_long_long", ScalarType::UInt64},
        {"long_long", ScalarType::Int64},
        {"float", ScalarType::Float32},
        {"double", ScalarType::Float64},
        // VTK writes vtkIdType arrays of legacy files as 32-bit ints.
        {"vtkidtype", ScalarType::Int32},
        {"vtktypeint8", ScalarType::Int8},
        {"vtktypeuint8", ScalarType::UInt8},
        {"vtktypeint16", ScalarType::Int16},
        {"vtktypeuint16", ScalarType::UInt16},
        {"vtktypeint32", ScalarType::Int32},
        {"vtktypeuint32", ScalarType::UInt32},
        {"vtktypeint64", ScalarType::Int64},
        {"vtktypeuint64", ScalarType::UInt64},
        {"vtktypefloat32", ScalarType::Float32},
        {"vtktypefloat64", ScalarType::Float64},
    };
    std::string key = lower(name);
    for (const auto& [n, t] : table)
        if (n == key) return t;
    return std::nullopt;
}

bool hostIsLittleEndian() { return std::endian::native == std::endian::little; }

void swapBytes(std::span<unsigned char> bytes, std::size_t elementSize) {
    if (elementSize <= 1) return;
    for (std::size_t i = 0; i + elementSize <= bytes.size(); i += elementSize)
        std::reverse(bytes.begin() + std::ptrdiff_t(i), bytes.begin() + std::ptrdiff_t(i + elementSize));
}

namespace {

template <typename From, typename To> void convertAll(const TypedData& data, std::vector<To>& out) {
    const std::size_t n = data.count();
    out.resize(n);
    const unsigned char* in = data.bytes.data();
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<To>(loadAs<From>(in + i * sizeof(From)));
}

template <typename To> void convertFrom(const TypedData& data, std::vector<To>& out) {
    switch (data.type) {
    case ScalarType::Int8: convertAll<std::int8_t>(data, out); break;
    case ScalarType::UInt8: convertAll<std::uint8_t>(data, out); break;
    case ScalarType::Int16: convertAll<std::int16_t>(data, out); break;
    case ScalarType::UInt16: convertAll<std::uint16_t>(data, out); break;
    case ScalarType::Int32: convertAll<std::int32_t>(data, out); break;
    case ScalarType::UInt32: convertAll<std::uint32_t>(data, out); break;
    case ScalarType::Int64: convertAll<std::int64_t>(data, out); break;
    case ScalarType::UInt64: convertAll<std::uint64_t>(data, out); break;
    case ScalarType::Float32: convertAll<float>(data, out); break;
    case ScalarType::Float64: convertAll<double>(data, out); break;
    }
}

} // namespace

RealArray toRealArray(const TypedData& data) {
    switch (data.type) {
    case ScalarType::Float32:
    case ScalarType::Int8:
    case ScalarType::UInt8:
    case ScalarType::Int16:
    case ScalarType::UInt16: {
        std::vector<float> values;
        convertFrom(data, values);
        return RealArray(std::move(values));
    }
    default: {
        std::vector<double> values;
        convertFrom(data, values);
        return RealArray(std::move(values));
    }
    }
}

std::vector<std::int64_t> toInt64(const TypedData& data) {
    if (isFloating(data.type))
        throw DecodeFault(_("indices must have an integer type, not %s", scalarTypeName(data.type)), 0);
    std::vector<std::int64_t> values;
    convertFrom(data, values);
    if (data.type == ScalarType::UInt64) {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] < 0) throw DecodeFault(_("index %zu is too large", i), 0);
    }
    return values;
}

bool parseNumber(std::string_view token, ScalarType type, unsigned char* out) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty()) return false;
    switch (type) {
    case ScalarType::Int8: return parseInteger<std::int8_t>(token, out);
    case ScalarType::UInt8: return parseInteger<std::uint8_t>(token, out);
    case ScalarType::Int16: return parseInteger<std::int16_t>(token, out);
    case ScalarType::UInt16: return parseInteger<std::uint16_t>(token, out);
    case ScalarType::Int32: return parseInteger<std::int32_t>(token, out);
    case ScalarType::UInt32: return parseInteger<std::uint32_t>(token, out);
    case ScalarType::Int64: return parseInteger<std::int64_t>(token, out);
    case ScalarType::UInt64: return parseInteger<std::uint64_t>(token, out);
    case ScalarType::Float32: {
        float f = 0;
        auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), f);
        if (ec == std::errc() && end == token.data() + token.size()) {
            storeAs(f, out);
            return true;
        }
        double d = 0;
        if (!parseDouble(token, d)) return false;
        storeAs(static_cast<float>(d), out);
        return true;
    }
    case ScalarType::Float64: {
        double d = 0;
        if (!parseDouble(token, d)) return false;
        storeAs(d, out);
        return true;
    }
    }
    return false;
}

TypedData parseAsciiList(std::string_view text, ScalarType type) {
    TypedData data;
    data.type = type;
    const std::size_t size = scalarSize(type);
    data.bytes.reserve(text.size() / 2 * size / 2 + size);
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && isSpace(text[i])) ++i;
        if (i >= text.size()) break;
        std::size_t start = i;
        while (i < text.size() && !isSpace(text[i])) ++i;
        std::string_view token = text.substr(start, i - start);
        const std::size_t at = data.bytes.size();
        data.bytes.resize(at + size);
        if (!parseNumber(token, type, data.bytes.data() + at)) {
            std::string shown(token.substr(0, 40));
            throw DecodeFault(_("'%s' is not a number of type %s", shown, scalarTypeName(type)), start);
        }
    }
    return data;
}

void Base64Reader::readGroup(std::size_t wanted) {
    unsigned char sym[4];
    std::size_t count = 0;
    std::size_t groupStart = m_pos;
    while (count < 4) {
        if (m_pos >= m_text.size()) {
            if (count == 0) throw DecodeFault(_("base64 data is truncated: %zu more bytes expected", wanted), m_pos);
            throw DecodeFault("base64 data is truncated inside a group of four characters", groupStart);
        }
        const char c = m_text[m_pos];
        const unsigned char v = kBase64[static_cast<unsigned char>(c)];
        if (v == kB64Skip) {
            ++m_pos;
            continue;
        }
        if (v == kB64Bad) throw DecodeFault(_("invalid base64 character %s", printable(c)), m_pos);
        if (count == 0) groupStart = m_pos;
        sym[count++] = v;
        ++m_pos;
    }
    std::size_t bytes = 3;
    if (sym[0] == kB64Pad || sym[1] == kB64Pad) throw DecodeFault("misplaced base64 padding '='", groupStart);
    if (sym[2] == kB64Pad) {
        if (sym[3] != kB64Pad) throw DecodeFault("misplaced base64 padding '='", groupStart);
        bytes = 1;
    } else if (sym[3] == kB64Pad) {
        bytes = 2;
    }
    const unsigned v0 = sym[0], v1 = sym[1];
    const unsigned v2 = bytes > 1 ? sym[2] : 0u, v3 = bytes > 2 ? sym[3] : 0u;
    m_pending[0] = static_cast<unsigned char>((v0 << 2) | (v1 >> 4));
    m_pending[1] = static_cast<unsigned char>(((v1 & 0xF) << 4) | (v2 >> 2));
    m_pending[2] = static_cast<unsigned char>(((v2 & 0x3) << 6) | v3);
    m_pendingFirst = 0;
    m_pendingCount = bytes;
}

void Base64Reader::read(std::size_t n, unsigned char* out) {
    std::size_t got = 0;
    const auto* text = reinterpret_cast<const unsigned char*>(m_text.data());
    while (got < n) {
        while (m_pendingCount > 0 && got < n) {
            out[got++] = m_pending[m_pendingFirst++];
            --m_pendingCount;
        }
        // Whole groups of plain symbols: four look-ups, one test, three bytes.
        std::size_t groups = std::min((n - got) / 3, (m_text.size() - m_pos) / 4);
        const unsigned char* in = text + m_pos;
        unsigned char* dst = out + got;
        while (groups > 0) {
            const std::uint32_t v =
                kBase64At[0][in[0]] | kBase64At[1][in[1]] | kBase64At[2][in[2]] | kBase64At[3][in[3]];
            if (v & kB64Special) break;
            dst[0] = static_cast<unsigned char>(v >> 16);
            dst[1] = static_cast<unsigned char>(v >> 8);
            dst[2] = static_cast<unsigned char>(v);
            in += 4;
            dst += 3;
            --groups;
        }
        m_pos = std::size_t(in - text);
        got = std::size_t(dst - out);
        // Whitespace, padding, a fault, or the last bytes of the request.
        if (got < n) readGroup(n - got);
    }
}

void Base64Reader::read(std::size_t n, std::vector<unsigned char>& out) {
    const std::size_t base = out.size();
    out.resize(base + n);
    try {
        read(n, out.data() + base);
    } catch (...) {
        out.resize(base);
        throw;
    }
}

void ByteSource::checkRaw(std::size_t n) const {
    if (n > m_raw.size() - m_rawPos)
        throw DecodeFault(_("binary data is truncated: %zu bytes needed, %zu left", n, m_raw.size() - m_rawPos),
                          m_rawPos);
}

void ByteSource::read(std::size_t n, unsigned char* out) {
    if (m_isBase64) {
        m_b64.read(n, out);
        return;
    }
    checkRaw(n);
    if (n > 0) std::memcpy(out, m_raw.data() + m_rawPos, n);
    m_rawPos += n;
}

void ByteSource::read(std::size_t n, std::vector<unsigned char>& out) {
    if (m_isBase64) {
        m_b64.read(n, out);
        return;
    }
    checkRaw(n);
    out.insert(out.end(), m_raw.begin() + std::ptrdiff_t(m_rawPos), m_raw.begin() + std::ptrdiff_t(m_rawPos + n));
    m_rawPos += n;
}

const unsigned char* ByteSource::take(std::size_t n, std::vector<unsigned char>& scratch) {
    if (m_isBase64) {
        scratch.resize(n);
        m_b64.read(n, scratch.data());
        return scratch.data();
    }
    checkRaw(n);
    const unsigned char* at = m_raw.data() + m_rawPos;
    m_rawPos += n;
    return at;
}

std::size_t ByteSource::maxRemaining() const { return m_isBase64 ? m_b64.maxRemaining() : m_raw.size() - m_rawPos; }

namespace {

std::vector<std::uint64_t> readHeader(ByteSource& source, const BinaryLayout& layout, std::size_t count) {
    const std::size_t size = layout.header64 ? 8 : 4;
    if (count > source.maxRemaining() / size)
        throw DecodeFault(_("binary data is truncated: header of %zu entries does not fit", count), source.position());
    std::vector<unsigned char> bytes;
    source.read(count * size, bytes);
    if (layout.swap) swapBytes(bytes, size);
    std::vector<std::uint64_t> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = layout.header64 ? loadAs<std::uint64_t>(&bytes[i * 8]) : loadAs<std::uint32_t>(&bytes[i * 4]);
    return values;
}

} // namespace

void readBinaryArrayInto(ByteSource& source, const BinaryLayout& layout, ScalarType type,
                         std::optional<std::uint64_t> expectedBytes, DestinationFn destination, void* context) {
    const std::size_t size = scalarSize(type);
    unsigned char* out = nullptr;
    std::size_t outBytes = 0;
    if (!layout.compressed) {
        const std::size_t at = source.position();
        const std::uint64_t nbytes = readHeader(source, layout, 1)[0];
        if (nbytes % size != 0)
            throw DecodeFault(_("size header gives %llu bytes, not a whole number of %s values",
                                static_cast<unsigned long long>(nbytes), scalarTypeName(type)),
                              at);
        if (expectedBytes && nbytes != *expectedBytes)
            throw DecodeFault(_("size header gives %llu bytes (%llu values), expected %llu values",
                                static_cast<unsigned long long>(nbytes), static_cast<unsigned long long>(nbytes / size),
                                static_cast<unsigned long long>(*expectedBytes / size)),
                              at);
        if (nbytes > source.maxRemaining())
            throw DecodeFault(_("data is truncated: size header gives %llu bytes, at most %zu left",
                                static_cast<unsigned long long>(nbytes), source.maxRemaining()),
                              at);
        outBytes = std::size_t(nbytes);
        out = destination(context, outBytes);
        source.read(outBytes, out);
    } else {
        const std::size_t at = source.position();
        const std::vector<std::uint64_t> head = readHeader(source, layout, 3);
        const std::uint64_t blocks = head[0], blockSize = head[1], lastSize = head[2];
        if (blocks > 0 && (blockSize == 0 || lastSize > blockSize))
            throw DecodeFault(_("bad compression header (block size %llu, last block %llu)",
                                static_cast<unsigned long long>(blockSize), static_cast<unsigned long long>(lastSize)),
                              at);
        if (blocks > source.maxRemaining())
            throw DecodeFault(
                _("data is truncated: compression header gives %llu blocks", static_cast<unsigned long long>(blocks)),
                at);
        const std::vector<std::uint64_t> sizes = readHeader(source, layout, std::size_t(blocks));
        std::uint64_t total = 0;
        if (blocks > 0) total = (blocks - 1) * blockSize + (lastSize ? lastSize : blockSize);
        std::uint64_t packed = 0;
        for (std::uint64_t s : sizes) packed += s;
        if (total % size != 0)
            throw DecodeFault(_("compression header gives %llu bytes, not a whole number of %s values",
                                static_cast<unsigned long long>(total), scalarTypeName(type)),
                              at);
        if (expectedBytes && total != *expectedBytes)
            throw DecodeFault(_("compression header gives %llu bytes (%llu values), expected %llu values",
                                static_cast<unsigned long long>(total), static_cast<unsigned long long>(total / size),
                                static_cast<unsigned long long>(*expectedBytes / size)),
                              at);
        if (packed > source.maxRemaining())
            throw DecodeFault(_("data is truncated: compressed blocks of %llu bytes, at most %zu left",
                                static_cast<unsigned long long>(packed), source.maxRemaining()),
                              at);
        // zlib cannot expand by more than about 1032:1; beyond that the header is corrupt.
        if (!expectedBytes && total > packed * 1100 + 1024)
            throw DecodeFault("bad compression header: block sizes do not fit the data", at);
        outBytes = std::size_t(total);
        out = destination(context, outBytes);
        // Each block inflates straight into its place in the destination; raw appended blocks
        // are read in place, base64 ones decoded into one scratch buffer first.
        std::vector<unsigned char> scratch;
        std::size_t filled = 0;
        for (std::size_t b = 0; b < sizes.size(); ++b) {
            const std::size_t blockAt = source.position();
            const unsigned char* block = source.take(std::size_t(sizes[b]), scratch);
            const std::size_t want = std::size_t((b + 1 == sizes.size() && lastSize) ? lastSize : blockSize);
            uLongf destLen = static_cast<uLongf>(want);
            const int rc = uncompress(out + filled, &destLen, block, static_cast<uLong>(sizes[b]));
            if (rc != Z_OK || destLen != want)
                throw DecodeFault(_("zlib block %zu of %zu does not decompress to %zu bytes (%s)", b + 1, sizes.size(),
                                    want, rc == Z_OK ? "size differs" : zError(rc)),
                                  blockAt);
            filled += want;
        }
    }
    if (layout.swap) swapBytes(std::span<unsigned char>(out, outBytes), size);
}

TypedData readBinaryArray(ByteSource& source, const BinaryLayout& layout, ScalarType type,
                          std::optional<std::uint64_t> expectedBytes) {
    TypedData data;
    data.type = type;
    readBinaryArrayInto(source, layout, type, expectedBytes, data.bytes);
    return data;
}

} // namespace zel::host::vtkio
