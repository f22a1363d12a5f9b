#pragma once
// Exponents of the base quantities of a unit. Ten values:
//   0 mass (kg), 1 length (m), 2 time (s), 3 temperature (K), 4 angle (radian),
//   5 amount of substance (mol), 6 electric current (A), 7 luminous intensity (cd),
//   8 solid angle (sr), 9 reserved (always 0 for units this library knows).
// Exponents are doubles so that fractional powers ("m^0.5") survive; comparisons use an
// absolute tolerance of 1e-9.
#include <array>
#include <string>
#include <string_view>

namespace zel {

class UnitDimensions {
public:
    static constexpr int NUM_DIMENSIONS = 10;
    enum Index : int {
        Mass = 0,
        Length = 1,
        Time = 2,
        Temperature = 3,
        Angle = 4,
        AmountOfSubstance = 5,
        ElectricCurrent = 6,
        LuminousIntensity = 7,
        SolidAngle = 8,
        Reserved = 9
    };

    // Dimensionless.
    UnitDimensions() { m_values.fill(0.0); }
    UnitDimensions(double mass, double length, double time, double temperature = 0.0, double angle = 0.0,
                   double amount = 0.0, double current = 0.0, double luminous = 0.0, double solidAngle = 0.0);
    // Parses "1,1,-2,0,0,0,0,0,0,0" (blanks allowed; fewer than ten values leave the rest 0).
    // data::invalid for more than ten values or a value that is not a number.
    static UnitDimensions fromCommaString(std::string_view text);

    void clear() { m_values.fill(0.0); }
    // internal::badParam when index is outside 0..9.
    void setValue(int index, double value);
    double getValue(int index) const;
    double operator[](int index) const { return getValue(index); }

    // Dimensions of a product (+), a quotient (-) and a power (scale).
    UnitDimensions& add(const UnitDimensions& other);
    UnitDimensions& subtract(const UnitDimensions& other);
    UnitDimensions& scale(double factor);
    UnitDimensions operator+(const UnitDimensions& o) const { return UnitDimensions(*this).add(o); }
    UnitDimensions operator-(const UnitDimensions& o) const { return UnitDimensions(*this).subtract(o); }
    UnitDimensions operator*(double f) const { return UnitDimensions(*this).scale(f); }

    bool isDimensionless() const;
    bool operator==(const UnitDimensions& other) const;
    bool operator!=(const UnitDimensions& other) const { return !(*this == other); }

    // "1,1,-2,0,0,0,0,0,0,0": integers without a decimal point, other exponents in their
    // shortest form ("0.5").
    std::string commaString() const;
    // One exponent as commaString writes it.
    static std::string exponentText(double value);

private:
    std::array<double, NUM_DIMENSIONS> m_values;
};

} // namespace zel
