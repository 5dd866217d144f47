// The manual page and the bash completion of kaveltrum-host, made from its command table alone:
// a command or an option added to the table shows up in both without a word written here.
#pragma once

#include <cstdint>
#include <string>

struct ManualFacts {
    std::string version; // "1.0.0"
    std::string day;     // the page's date, "2026-12-09", or empty to leave it out
};

// The page in roff with the man macros, for section 1.
std::string manualPage(const ManualFacts& facts);

// A bash script that, sourced, completes kaveltrum-host's commands, options, their fixed values
// and file names.
std::string bashCompletion(const ManualFacts& facts);

// Text as roff shows it, line for line: backslashes and hyphen-minus signs escaped (so options
// print as typed), and a line that would begin with '.' or '\'' kept from reading as a request.
std::string roffText(const std::string& text);

// The day (UTC) of a moment given in seconds since 1970-01-01, as YYYY-MM-DD.
std::string dayOf(uint64_t seconds);
