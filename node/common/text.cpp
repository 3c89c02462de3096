// Text and number helpers with the old platform's semantics.
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace gw {
namespace {

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
bool digit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the number at the start of `s` (sign, digits, point, exponent); 0 when none.
std::size_t numberLength(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && digit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && digit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < s.size() && digit(s[j]))
            ++j, ++expDigits;
        if (expDigits > 0) i = j;
    }
    return i;
}

} // namespace

bool isNumeric(std::string_view text) {
    const std::string t = trim(text);
    const std::size_t n = numberLength(t);
    return n > 0 && n == t.size();
}

double numericValue(std::string_view text) {
    const std::string t = trimLeft(text);
    const std::size_t n = numberLength(t);
    if (n == 0) return 0.0;
    return std::strtod(t.substr(0, n).c_str(), nullptr);
}

long long roundHalfEven(double value) {
    // 2^63 is exact as a double; every double below it converts without overflow.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(value)) return 0;
    if (value >= kTwoTo63) return std::numeric_limits<long long>::max();
    if (value <= -kTwoTo63) return std::numeric_limits<long long>::min();
    const double floor = std::floor(value);
    const double diff = value - floor;
    long long r = static_cast<long long>(floor);
    if (diff > 0.5 || (diff == 0.5 && (r % 2 != 0))) ++r;
    return r;
}

long long clampedWhole(double value, long long low, long long high) {
    return std::clamp(roundHalfEven(value), low, high);
}

std::string trimLeft(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string trimRight(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string trim(std::string_view text) {
    return trimRight(trimLeft(text));
}

std::string toUpper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

std::string toLower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::size_t findNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (from > haystack.size()) return std::string_view::npos;
    const auto it = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from),
                                haystack.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return upper(a) == upper(b); });
    if (it == haystack.end() && !needle.empty()) return std::string_view::npos;
    return static_cast<std::size_t>(it - haystack.begin());
}

bool containsNoCase(std::string_view haystack, std::string_view needle) {
    return findNoCase(haystack, needle) != std::string_view::npos;
}

std::string formatDigits(long long value) {
    return value == 0 ? std::string() : std::to_string(value);
}

std::string leftField(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.resize(width, ' ');
    return out;
}

QString toQString(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string fromQString(const QString& text) {
    return text.toLatin1().toStdString();
}

std::string loggable(std::string_view text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += static_cast<char>(byte);
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    if (text.size() > limit) out += "...";
    return out;
}

} // namespace gw
