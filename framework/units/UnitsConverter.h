#pragma once
// Parsing and conversion of unit texts, and the base units of dimensions and quantities.
//
// Unit text grammar (docs/units.md has the full list of symbols):
//   units   := [ factor { sep factor } ]         empty text or "Dimensionless": no units
//   sep     := blanks | '*' | '/'                 '/' divides by the next factor only:
//                                                 "W/m^2/K" = "W m^-2 K^-1"
//   factor  := ( symbol | '(' units ')' | '1' ) [ '^' exponent ]
//   exponent:= ['+'|'-'] number | '(' ['+'|'-'] number [ '/' number ] ')'
// Symbols are case-sensitive ("Pa", "K", "kg"); spelled-out names ("degree", "radian",
// "rev", "Dimensionless") are also accepted in any case. SI prefixes (Y Z E P T G M k h da
// d c m u n p f a z y) attach to the SI symbols (g m s K mol A cd N Pa J W Hz L l V bar eV
// rad) when the whole symbol is not itself a known unit ("min" is minutes, "mm" is
// millimetres, "cd" candela, "Pa" pascal).
//
// Temperatures: a unit text that is exactly one temperature symbol ("K", "C", "F", "R",
// possibly prefixed, exponent 1) denotes an absolute temperature, and converting between
// two such texts applies the offsets (0 C = 273.15 K, 32 F = 273.15 K). In any compound
// unit ("J kg^-1 K^-1", "C s^-1", "K^2") offsets are ignored and only the scale is used;
// the temperatureDifference flag of convertUnits makes single symbols behave the same way
// (a difference of 1 C is a difference of 1 K).
//
// Canonical base units: getBaseUnitName writes kg, m, s, K, radian, mol, A, cd, sr in
// that fixed order (the order of the UnitDimensions indices), each with "^<exponent>"
// unless it is 1, separated by one blank; dimensionless gives the empty text.
// "N" -> "kg m s^-2", "W m^-2 K^-1" -> "kg s^-3 K^-1".
//
// Parsed unit texts are cached; the converter is safe to call from several threads.
#include "framework/units/UnitDimensions.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// What a unit text means: value_SI = value * scale + offset (offset only for a single
// absolute temperature symbol, 0 otherwise).
struct UnitInfo {
    double scale = 1.0;
    double offset = 0.0;
    UnitDimensions dims;
    bool absoluteTemperature = false; // the text is one temperature symbol with exponent 1
};

class UnitsConverter {
public:
    // The single converter, created on first use.
    static UnitsConverter* instance();
    ~UnitsConverter();

    // Parses a unit text. data::invalid naming the text when it cannot be parsed (an
    // unknown symbol, a dangling '^', a bad exponent, unbalanced parentheses).
    UnitInfo parse(std::string_view units) const;
    // True when the text parses.
    bool isValidUnit(std::string_view units) const;

    // Converts value from units `from` to units `to` into out and returns true.
    // data::invalid when either text cannot be parsed, or when their dimensions differ
    // ("Cannot convert from 'm' to 's': incompatible dimensions."). An undefined value
    // (UNDEFINED_VALUE) is passed through unchanged. temperatureDifference: ignore the
    // offsets of single temperature symbols (see above).
    bool convertUnits(const std::string& from, const std::string& to, double value, double& out,
                      bool temperatureDifference = false) const;
    bool convertUnits(const std::string& from, const std::string& to, float value, float& out,
                      bool temperatureDifference = false) const;
    // As convertUnits, but returns false (out untouched) instead of raising.
    bool tryConvertUnits(const std::string& from, const std::string& to, double value, double& out,
                         bool temperatureDifference = false) const noexcept;
    // Same dimensions (both texts must parse; data::invalid otherwise).
    bool areCompatible(const std::string& a, const std::string& b) const;

    UnitDimensions dimsFromUnits(const std::string& units) const;
    // dimsFromUnits(units).commaString().
    std::string dimsStringFromUnits(const std::string& units) const;
    // The canonical base SI unit text of the dimensions (see above). data::invalid when
    // the reserved exponent (index 9) is not 0.
    std::string getBaseUnitName(const UnitDimensions& dims) const;
    // The canonical base SI unit text of a unit text ("kPa" -> "kg m^-1 s^-2").
    std::string getBaseUnitsOf(const std::string& units) const;

    // Base SI units of a named quantity ("Pressure" -> "kg m^-1 s^-2"). Names match exactly
    // or, failing that, ignoring case. The empty name gives the empty text; an unknown
    // name raises data::notFound ("Unknown quantity 'X'.").
    std::string getBaseUnitsFromQuant(const std::string& quantity) const;
    UnitDimensions getDimsFromQuant(const std::string& quantity) const;
    bool isKnownQuantity(const std::string& quantity) const;
    // Known quantities in table order (the order getQuantityTypeFromUnits searches).
    std::vector<std::string> getQuantityNames() const;
    // The first known quantity (in table order) with these dimensions, or empty.
    std::string getQuantityFromDims(const UnitDimensions& dims) const;
    // Registers a further quantity (appended to the table) or replaces the units of a known
    // one. defaultUnits, the quantity's unit in the default (SI) unit system, defaults to
    // the base units. data::invalid when a unit text cannot be parsed or the default
    // units have other dimensions.
    void addQuantity(const std::string& quantity, const std::string& baseUnits,
                     const std::string& defaultUnits = std::string());
    // The unit of a known quantity in the default (SI) system ("Pressure" -> "Pa");
    // data::notFound for an unknown quantity, empty for the empty name.
    std::string getDefaultUnitsFromQuant(const std::string& quantity) const;

    // Drops the parse cache (tests, or after the unit tables change).
    void clearCache();

    UnitsConverter(const UnitsConverter&) = delete;
    UnitsConverter& operator=(const UnitsConverter&) = delete;

private:
    UnitsConverter();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    static UnitsConverter* m_instance;
};

} // namespace zel
