// The module's name and about text, as the host reads them through getModuleProperties.
#pragma once

#include "abi.h"

constexpr int32_t NameBufferSize = 44;
constexpr int32_t AboutTextSize = 1000;

// Writes the interface version, and for module 0 composes the name and about text afresh and
// points the record at them. Returns 1 for module 0, else 0; a null record gets nothing.
int32_t fillModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;

// The name buffer: "KAVELTRUM" once the properties were asked for, empty before.
const char* moduleName() noexcept;
