// One line of a listing, built in a buffer kept from line to line: printing a million lines
// allocates nothing and goes through printf for none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

class TextLine {
  public:
    TextLine& text(const char* part);
    TextLine& text(char part);
    // Left-aligned in `width` columns, as %-Ns prints it.
    TextLine& padded(const char* part, size_t width);
    // Right-aligned in `width` columns, as %Nd prints it.
    TextLine& number(int64_t value, size_t width = 0);
    // With three decimals, right-aligned in `width` columns: the digits %N.3f prints.
    TextLine& seconds(double value, size_t width);

    // Writes the line and starts the next one; the stream buffers it.
    void writeTo(std::ostream& out);

  private:
    void alignRight(size_t from, size_t width);
    std::string line;
};

// `seconds` in whole milliseconds, rounded as printf rounds: to the nearest, a tie to the even
// one. False when the value is negative, not finite or too large to count that way.
bool roundToMilliseconds(double seconds, uint64_t& milliseconds);
