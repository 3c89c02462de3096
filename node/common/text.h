// Text and number helpers with the old platform's semantics: the node's radio, serial and
// server text is std::string of bytes (Latin-1), and its rules for numbers, trimming and
// case come from the platform the node was first written for.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace gw {

// True when the whole text (blanks around it allowed) reads as one number:
// optional sign, digits with at most one decimal point, optional exponent.
bool isNumeric(std::string_view text);

// The numeric value of the leading number in the text (leading blanks skipped), 0 when
// there is none: "12abc" is 12, "x" is 0, " -3.5" is -3.5.
double numericValue(std::string_view text);

// Rounds halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0). Values beyond the
// 64-bit range give its nearest end, and NaN gives 0.
long long roundHalfEven(double value);

// roundHalfEven kept within [low, high]: for numbers read from a TNC or a settings file,
// which may hold anything ("1e300"), going into a narrower integer.
long long clampedWhole(double value, long long low, long long high);

// Removes blanks (spaces only, as the old platform did) at either end.
std::string trim(std::string_view text);
std::string trimLeft(std::string_view text);
std::string trimRight(std::string_view text);

std::string toUpper(std::string_view text);
std::string toLower(std::string_view text);

// Position of needle in haystack at or after `from`, ignoring ASCII case; npos when absent.
std::size_t findNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);
bool containsNoCase(std::string_view haystack, std::string_view needle);

// "#####": the number without padding; 0 gives an empty text.
std::string formatDigits(long long value);

// "!@@@...": the text left-aligned in a field of `width` characters, padded with blanks.
// A longer text is kept whole: a user must be able to type back what the node listed.
std::string leftField(std::string_view text, std::size_t width);

// Outside text for a log line: at most `limit` bytes of it, control bytes and bytes above
// 0x7E written as \xHH, and "..." where it was cut, so that one line stays one line.
std::string loggable(std::string_view text, std::size_t limit);

// The widget boundary: one byte per character both ways.
QString toQString(std::string_view bytes);
std::string fromQString(const QString& text);

} // namespace gw
