// The runs with guard pages that the blocks, events and pin-descriptions checks end with.
#pragma once

#include "checks.h"
#include "module_file.h"

void guardedBlocks(CheckContext& context, const ModuleFile& file);
void guardedEvents(CheckContext& context, const ModuleFile& file);
void guardedPinDescriptions(CheckContext& context, const ModuleFile& file);
