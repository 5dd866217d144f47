#include "texts.h"

#include <cstdio>

size_t boundedLength(const char* text, size_t bound) {
    if (!text)
        return 0;
    size_t length = 0;
    while (length < bound && text[length] != '\0')
        ++length;
    return length;
}

std::string boundedText(const char* text, size_t bound) {
    return text ? std::string(text, boundedLength(text, bound)) : std::string();
}

std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}
