// The small module as it should be: it passes every check.
#include "small_module.h"

#include <new>

SMALL_MODULE_EXPORTS(SmallModule, "SOUND")
