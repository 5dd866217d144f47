// Small pieces of text handling every room shares: texts from a module that may lack their
// terminator, and numbers written as short as they read.
#pragma once

#include <cstddef>
#include <string>

// The length of the zero-terminated text at `text`, or `bound` when none of its first `bound`
// bytes is the terminator. Reads no byte past the terminator or the bound; a null text is empty.
size_t boundedLength(const char* text, size_t bound);

// The text at `text` up to its terminator, or its first `bound` bytes when it has none within
// them; empty for a null text.
std::string boundedText(const char* text, size_t bound);

// `value` as printf's "%g" writes it: six significant digits, no trailing zeros, an exponent
// only for the very large and the very small ("44100", "0.5", "1e-40").
std::string shortNumber(double value);
