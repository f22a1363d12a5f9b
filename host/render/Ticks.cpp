#include "host/render/Ticks.h"

#include "framework/core/Format.h"

#include <cmath>
#include <cstdio>

namespace zel::host::render {
namespace {

// Number of multiples of step in [lo, hi], allowing for rounding at the ends.
long multiplesIn(double lo, double hi, double step) {
    const double eps = 1e-9;
    return static_cast<long>(std::floor(hi / step + eps) - std::ceil(lo / step - eps)) + 1;
}

std::string trimZeros(std::string s) {
    const std::size_t e = s.find_first_of("eE");
    std::string mantissa = e == std::string::npos ? s : s.substr(0, e);
    const std::string exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    return mantissa + exponent;
}

std::string noNegativeZero(std::string s) {
    bool zero = true;
    for (char c : s)
        if (c >= '1' && c <= '9') zero = false;
    if (zero && !s.empty() && s[0] == '-') s.erase(0, 1);
    return s;
}

} // namespace

std::vector<double> niceTicks(double lo, double hi, double* step) {
    if (step != nullptr) *step = 0.0;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return {lo};
    static const std::vector<std::vector<double>> passes = {{5, 2.5, 2, 1}, {4}, {3, 6, 8, 1.5}};
    const int top = static_cast<int>(std::floor(std::log10(hi - lo))) + 1;
    for (const auto& mantissas : passes)
        for (int k = top; k >= top - 3; --k)
            for (const double m : mantissas) {
                const double s = m * std::pow(10.0, k);
                const long n = multiplesIn(lo, hi, s);
                if (n < 5 || n > 7) continue;
                std::vector<double> ticks;
                const double first = std::ceil(lo / s - 1e-9);
                for (long i = 0; i < n; ++i) {
                    double v = (first + double(i)) * s;
                    if (std::fabs(v) < s * 1e-9) v = 0.0;
                    ticks.push_back(v);
                }
                if (step != nullptr) *step = s;
                return ticks;
            }
    // Not reached for finite ranges (the passes cover every ratio); keep the ends.
    return {lo, hi};
}

std::string formatTick(double value, double step) {
    if (!(step > 0.0)) return formatValue(value);
    const double magnitude = std::max(std::fabs(value), step);
    if (magnitude >= 1e6 || magnitude < 1e-3) {
        if (value == 0.0) return "0";
        // Scientific: the mantissa runs down to the step's own last digit.
        const int ev = static_cast<int>(std::floor(std::log10(magnitude) + 1e-9));
        const int es = static_cast<int>(std::floor(std::log10(step) + 1e-9));
        const double m = step / std::pow(10.0, es);
        const int digits = std::max(0, ev - es + (std::fabs(m - std::round(m)) > 1e-6 ? 1 : 0));
        return noNegativeZero(trimZeros(_("%.*e", digits, value)));
    }
    int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    // 2.5 or 1.5 times a power of ten needs one decimal more than the power.
    const double scaled = step / std::pow(10.0, -decimals);
    if (std::fabs(scaled - std::round(scaled)) > 1e-6) ++decimals;
    return noNegativeZero(_("%.*f", decimals, value));
}

std::string formatValue(double value) {
    if (!std::isfinite(value)) return "undefined";
    const double a = std::fabs(value);
    if (a != 0.0 && (a >= 1e6 || a < 1e-3)) return noNegativeZero(trimZeros(_("%.4e", value)));
    const int decimals = a == 0.0 ? 0 : std::max(0, 4 - static_cast<int>(std::floor(std::log10(a))));
    return noNegativeZero(trimZeros(_("%.*f", decimals, value)));
}

std::string prettyUnits(const std::string& units) {
    static const char* const digits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] != '^') {
            out += units[i];
            continue;
        }
        std::size_t j = i + 1;
        std::string sup;
        if (j < units.size() && (units[j] == '-' || units[j] == '+')) sup += units[j++] == '-' ? "⁻" : "";
        const std::size_t start = j;
        while (j < units.size() && units[j] >= '0' && units[j] <= '9') sup += digits[units[j++] - '0'];
        if (j == start) { // not a plain whole exponent ("^(1/2)"): keep it as written
            out += units[i];
            continue;
        }
        out += sup;
        i = j - 1;
    }
    return out;
}

std::string withUnits(const std::string& name, const std::string& units) {
    return units.empty() ? name : name + " [" + prettyUnits(units) + "]";
}

} // namespace zel::host::render
