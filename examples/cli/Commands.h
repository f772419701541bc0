// The tool's commands; each returns the exit status (see Arguments.h).
#pragma once

#include "cli/Arguments.h"

namespace cli {

int Pack(const Options& options);          // PackCommands.cpp
int PackDirectory(const Options& options); // PackCommands.cpp
int List(const Options& options);          // ReadCommands.cpp
int Test(const Options& options);          // ReadCommands.cpp
int Extract(const Options& options);       // ReadCommands.cpp

} // namespace cli
