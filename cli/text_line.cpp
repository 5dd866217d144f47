#include "text_line.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// The exact binary value of `seconds` is whole * 2^-shift; times a thousand, it is compared with
// the halfway point in integers, so that no rounding of a multiplication can move a digit.
bool roundToMilliseconds(double seconds, uint64_t& milliseconds) {
    if (!(seconds >= 0.0) || seconds >= 1e12)
        return false;
    int exponent = 0;
    const double fraction = std::frexp(seconds, &exponent); // seconds = fraction * 2^exponent
    const auto whole = static_cast<uint64_t>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent;      // at least 13, for values below 1e12
    const uint64_t scaled = whole * 1000; // below 2^63
    if (shift >= 64) {
        milliseconds = 0;
        return true;
    }
    uint64_t result = scaled >> shift;
    const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (result & 1) != 0))
        ++result;
    milliseconds = result;
    return true;
}

TextLine& TextLine::text(const char* part) {
    line += part;
    return *this;
}

TextLine& TextLine::text(char part) {
    line += part;
    return *this;
}

TextLine& TextLine::padded(const char* part, size_t width) {
    const size_t length = std::strlen(part);
    line.append(part, length);
    if (length < width)
        line.append(width - length, ' ');
    return *this;
}

void TextLine::alignRight(size_t from, size_t width) {
    const size_t length = line.size() - from;
    if (length < width)
        line.insert(from, width - length, ' ');
}

TextLine& TextLine::number(int64_t value, size_t width) {
    const size_t from = line.size();
    char digits[24];
    size_t count = 0;
    uint64_t rest = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0)
        line += '-';
    while (count > 0)
        line += digits[--count];
    alignRight(from, width);
    return *this;
}

TextLine& TextLine::seconds(double value, size_t width) {
    uint64_t milliseconds = 0;
    if (!roundToMilliseconds(value, milliseconds)) { // not a time this tool prints; printf knows
        char text[64];
        std::snprintf(text, sizeof text, "%*.3f", static_cast<int>(width), value);
        line += text;
        return *this;
    }
    const size_t from = line.size();
    number(static_cast<int64_t>(milliseconds / 1000));
    const auto rest = static_cast<unsigned>(milliseconds % 1000);
    line += '.';
    line += static_cast<char>('0' + rest / 100);
    line += static_cast<char>('0' + rest / 10 % 10);
    line += static_cast<char>('0' + rest % 10);
    alignRight(from, width);
    return *this;
}

void TextLine::writeTo(std::ostream& out) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    line.clear();
}
