// The pins of an instance as the host learns them, and the values their default texts give.
#pragma once

#include "abi.h"
#include "result.h"

#include <optional>
#include <string>
#include <vector>

// One pin as its description told it. The texts are copies; the variable lies in the instance.
struct PinInfo {
    std::string name;
    int32_t direction = DirIn;
    int32_t datatype = DtInt16;
    void* variable = nullptr; // where the host writes the pin's value, or null
    std::optional<std::string> defaultText;
    std::optional<std::string> extraText;
    int32_t flags = 0;

    [[nodiscard]] bool isParameter() const; // an int16 or bool value the host sets
    [[nodiscard]] bool isInput() const { return direction != DirOut; }
};

// A module describing more pins than this is taken to be broken.
constexpr int32_t MaxPins = 4096;

// The pin a description tells of, its texts copied.
PinInfo pinInfoOf(const PinDescription& description);

// The value a parameter starts with: its default text read as a number, "true" or "false";
// 0 without a default text.
Result<int32_t> defaultValue(const PinInfo& pin);

// Whether `value` fits the parameter pin's variable.
Status checkParameter(const PinInfo& pin, int32_t value);
