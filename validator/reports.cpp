#include "reports.h"

#include "safe_file.h"

#include <cstdio>

namespace {

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// ---- Texts as code points
//
// A module's texts are bytes in no promised encoding. Valid UTF-8 is kept; any other byte is
// taken as the Latin-1 character of that value, so that both reports stay valid UTF-8 and no
// byte the module gave is lost.

// The code point starting at `at`, and how many bytes it took.
uint32_t codePointAt(const std::string& text, size_t at, size_t& length) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const uint32_t first = byte(at);
    length = 1;
    if (first < 0x80)
        return first;
    const size_t more = first >= 0xC2 && first <= 0xDF   ? 1
                        : first >= 0xE0 && first <= 0xEF ? 2
                        : first >= 0xF0 && first <= 0xF4 ? 3
                                                         : 0;
    if (more == 0 || at + more >= text.size())
        return first;
    uint32_t point = first & (0x3F >> more);
    for (size_t i = 1; i <= more; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return first;
        point = point << 6 | (byte(at + i) & 0x3F);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (point < least[more] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return first; // overlong, beyond Unicode, or a surrogate
    length = more + 1;
    return point;
}

void appendUtf8(std::string& out, uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

template <class Each> void forEachCodePoint(const std::string& text, Each each) {
    for (size_t at = 0, length = 1; at < text.size(); at += length)
        each(codePointAt(text, at, length));
}

// ---- JSON

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    forEachCodePoint(text, [&](uint32_t point) {
        if (point == '"' || point == '\\') {
            out += '\\';
            out += static_cast<char>(point);
        } else if (point < 0x20 || point == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(point));
            out += escaped;
        } else {
            appendUtf8(out, point);
        }
    });
    return out + "\"";
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value < 0.0 ? 0.0 : value);
    return text;
}

// ---- XML

// Characters XML 1.0 cannot hold, not even as references, become U+FFFD.
std::string xmlText(const std::string& text) {
    std::string out;
    forEachCodePoint(text, [&](uint32_t point) {
        switch (point) {
        case '&':
            out += "&amp;";
            return;
        case '<':
            out += "&lt;";
            return;
        case '>':
            out += "&gt;";
            return;
        case '"':
            out += "&quot;";
            return;
        case '\'':
            out += "&apos;";
            return;
        case '\n':
            out += "&#10;";
            return;
        case '\r':
            out += "&#13;";
            return;
        case '\t':
            out += "&#9;";
            return;
        default:
            break;
        }
        const bool allowed = point >= 0x20 && point != 0xFFFE && point != 0xFFFF;
        appendUtf8(out, allowed ? point : 0xFFFD);
    });
    return out;
}

// The module file's name without its folder and extension, which groups the test cases.
std::string suiteName(const std::string& module) {
    const size_t slash = module.find_last_of("/\\");
    std::string name = slash == std::string::npos ? module : module.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name.empty() ? "module" : name;
}

size_t countOf(const RunRecord& run, const char* result) {
    size_t count = 0;
    for (const CheckRecord& check : run.checks)
        count += check.result == result;
    return count;
}

double totalSeconds(const RunRecord& run) {
    double total = 0.0;
    for (const CheckRecord& check : run.checks)
        total += check.seconds;
    return total;
}

std::string testCase(const CheckRecord& check, const std::string& suite) {
    std::string out = "    <testcase name=\"" + xmlText(check.name) + "\" classname=\"" +
                      xmlText(suite) + "\" time=\"" + seconds(check.seconds) + "\">\n";
    if (check.result == "FAIL")
        out += "      <failure message=\"" + xmlText(check.details) + "\" type=\"FAIL\">" +
               xmlText(check.details) + "</failure>\n";
    else if (check.result == "SKIP")
        out += "      <skipped message=\"" + xmlText(check.details) + "\"/>\n";
    std::string said;
    for (const std::string& warning : check.warnings)
        said += "WARN " + check.name + ": " + warning + "\n";
    if (check.result != "FAIL" && check.result != "SKIP" && !check.details.empty())
        said += check.details + "\n";
    if (!said.empty())
        out += "      <system-out>" + xmlText(said) + "</system-out>\n";
    return out + "    </testcase>\n";
}

} // namespace

CheckRecord checkRecordOf(const std::string& name, const std::vector<std::string>& lines,
                          double elapsed) {
    CheckRecord check{name, "FAIL", {}, {}, elapsed};
    const std::string warn = "WARN " + name + ": ";
    for (const std::string& line : lines) {
        if (startsWith(line, warn)) {
            check.warnings.push_back(line.substr(warn.size()));
        } else if (startsWith(line, "PASS " + name) || startsWith(line, "FAIL " + name) ||
                   startsWith(line, "SKIP " + name)) {
            check.result = line.substr(0, 4);
            const size_t words = 5 + name.size();
            check.details = line.size() > words + 2 ? line.substr(words + 2) : "";
        }
    }
    if (check.result == "PASS" && !check.warnings.empty())
        check.result = "WARN";
    return check;
}

std::string jsonReport(const RunRecord& run) {
    std::string out =
        "{\n  \"tool\": \"kaveltrum-host check\",\n  \"version\": " + jsonText(run.toolVersion) +
        ",\n  \"module\": " + jsonText(run.module) + ",\n  \"seed\": " + std::to_string(run.seed) +
        ",\n  \"properties\": {";
    for (size_t i = 0; i < run.properties.size(); ++i)
        out += std::string(i ? "," : "") + "\n    " + jsonText(run.properties[i].first) + ": " +
               jsonText(run.properties[i].second);
    out += run.properties.empty() ? "},\n" : "\n  },\n";
    if (!run.problem.empty())
        out += "  \"error\": " + jsonText(run.problem) + ",\n";
    out += "  \"checks\": [";
    for (size_t i = 0; i < run.checks.size(); ++i) {
        const CheckRecord& check = run.checks[i];
        out += std::string(i ? "," : "") + "\n    {\"name\": " + jsonText(check.name) +
               ", \"result\": " + jsonText(check.result) +
               ", \"details\": " + jsonText(check.details) + ", \"warnings\": [";
        for (size_t w = 0; w < check.warnings.size(); ++w)
            out += (w ? ", " : "") + jsonText(check.warnings[w]);
        out += "], \"seconds\": " + seconds(check.seconds) + "}";
    }
    out += run.checks.empty() ? "],\n" : "\n  ],\n";
    out += "  \"passed\": " + std::to_string(countOf(run, "PASS") + countOf(run, "WARN")) +
           ",\n  \"failed\": " + std::to_string(countOf(run, "FAIL")) +
           ",\n  \"skipped\": " + std::to_string(countOf(run, "SKIP")) + "\n}\n";
    return out;
}

std::string junitReport(const RunRecord& run) {
    const std::string suite = suiteName(run.module);
    RunRecord shown = run;
    if (!run.problem.empty()) // a module that cannot be loaded is one failed test case
        shown.checks.insert(shown.checks.begin(), {"load", "FAIL", run.problem, {}, 0.0});
    const std::string counts =
        " tests=\"" + std::to_string(shown.checks.size()) + "\" failures=\"" +
        std::to_string(countOf(shown, "FAIL")) + "\" errors=\"0\" skipped=\"" +
        std::to_string(countOf(shown, "SKIP")) + "\" time=\"" + seconds(totalSeconds(shown)) + "\"";
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<testsuites name=\"kaveltrum-host check\"" +
                      counts + ">\n  <testsuite name=\"" + xmlText(suite) + "\"" + counts +
                      ">\n    <properties>\n";
    std::vector<std::pair<std::string, std::string>> properties = {
        {"module", run.module}, {"seed", std::to_string(run.seed)}, {"version", run.toolVersion}};
    for (const auto& property : run.properties)
        properties.emplace_back("module " + property.first, property.second);
    for (const auto& [name, value] : properties)
        out +=
            "      <property name=\"" + xmlText(name) + "\" value=\"" + xmlText(value) + "\"/>\n";
    out += "    </properties>\n";
    for (const CheckRecord& check : shown.checks)
        out += testCase(check, suite);
    return out + "  </testsuite>\n</testsuites>\n";
}

Status writeReports(const RunRecord& run, const std::string& jsonFile,
                    const std::string& junitFile) {
    const auto write = [](const std::string& path, const std::string& text) -> Status {
        if (path.empty())
            return {};
        return writeFileWhole(path, std::vector<uint8_t>(text.begin(), text.end()));
    };
    if (Status written = write(jsonFile, jsonReport(run)); !written)
        return written;
    return write(junitFile, junitReport(run));
}
