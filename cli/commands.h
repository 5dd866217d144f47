// The rows of the command table, each made in the file of its command.
#pragma once

#include "command_table.h"

CommandSpec writeCommand();      // write_command.cpp
CommandSpec showCommand();       // show_command.cpp
CommandSpec playCommand();       // play_command.cpp
CommandSpec recordCommand();     // record_command.cpp
CommandSpec liveCommand();       // live_command.cpp
CommandSpec listCommand();       // list_command.cpp
CommandSpec checkCommand();      // check_command.cpp
CommandSpec checkChildCommand(); // check_command.cpp
