#include "manual.h"

#include <cstdio>

namespace {

std::string roffLine(const std::string& line) {
    std::string out = !line.empty() && (line[0] == '.' || line[0] == '\'') ? "\\&" : "";
    for (const char c : line) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string roffText(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        out += roffLine(text.substr(start, end - start));
        if (end < text.size())
            out += '\n';
        start = end + 1;
    }
    return out;
}

// Days to a civil date in the proleptic Gregorian calendar, counting in eras of 400 years
// (146097 days), each starting on a March 1st so that the leap day ends its year.
std::string dayOf(uint64_t seconds) {
    const uint64_t days = seconds / 86400 + 719468; // from 0000-03-01
    const uint64_t era = days / 146097;
    const uint64_t dayOfEra = days - era * 146097;
    const uint64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const uint64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const uint64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const uint64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04llu-%02llu-%02llu", static_cast<unsigned long long>(year),
                  static_cast<unsigned long long>(month), static_cast<unsigned long long>(day));
    return text;
}
