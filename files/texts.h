// Small pieces of text handling every room shares: texts from a module that may lack their
// terminator.
#pragma once

#include <cstddef>
#include <string>

// The length of the zero-terminated text at `text`, or `bound` when none of its first `bound`
// bytes is the terminator. Reads no byte past the terminator or the bound; a null text is empty.
size_t boundedLength(const char* text, size_t bound);

// The text at `text` up to its terminator, or its first `bound` bytes when it has none within
// them; empty for a null text.
std::string boundedText(const char* text, size_t bound);
