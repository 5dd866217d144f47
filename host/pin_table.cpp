#include "pin_table.h"

#include "texts.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace {

// Module texts are read up to this length, in case one lacks its terminator.
constexpr size_t MaxPinText = 4096;

std::optional<std::string> optionalText(const char* text) {
    if (!text)
        return std::nullopt;
    return boundedText(text, MaxPinText);
}

} // namespace

PinInfo pinInfoOf(const PinDescription& description) {
    PinInfo pin;
    pin.name = boundedText(description.pinName, MaxPinText);
    pin.direction = description.direction;
    pin.datatype = description.datatype;
    pin.variable = description.variableAddress;
    pin.defaultText = optionalText(description.defaultText);
    pin.extraText = optionalText(description.extraText);
    pin.flags = description.pinFlags;
    return pin;
}

namespace {

// A whole decimal number, or nothing.
std::optional<long long> numberOf(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return std::nullopt;
    return number;
}

std::optional<long long> readDefault(int32_t datatype, const std::string& text) {
    if (datatype == DtBool && (text == "true" || text == "false"))
        return text == "true" ? 1 : 0;
    return numberOf(text);
}

} // namespace

bool PinInfo::isParameter() const {
    return datatype == DtInt16 || datatype == DtBool;
}

Result<int32_t> defaultValue(const PinInfo& pin) {
    if (!pin.defaultText)
        return 0;
    const std::optional<long long> number = readDefault(pin.datatype, *pin.defaultText);
    const std::string unreadable =
        "pin '" + pin.name + "' has a default the host cannot read: '" + *pin.defaultText + "'";
    if (!number || *number < std::numeric_limits<int32_t>::min() ||
        *number > std::numeric_limits<int32_t>::max())
        return Failure{unreadable};
    const auto value = static_cast<int32_t>(*number);
    if (!checkParameter(pin, value))
        return Failure{unreadable};
    return value;
}

Status checkParameter(const PinInfo& pin, int32_t value) {
    if (pin.datatype == DtBool && value != 0 && value != 1)
        return Failure{"pin '" + pin.name + "' is a switch: give 0 or 1, not " +
                       std::to_string(value)};
    if (pin.datatype == DtInt16 && (value < std::numeric_limits<int16_t>::min() ||
                                    value > std::numeric_limits<int16_t>::max()))
        return Failure{"pin '" + pin.name + "' holds a 16-bit number: " + std::to_string(value) +
                       " does not fit"};
    return {};
}
