// tavro-list's text: a program's listing and symbol table, rendered from the engine's source
// map. The format is stable (docs/tavro-list.1 describes it); scripts may parse it.
#pragma once

#include <string>

#include "engine/engine.h"

namespace tavro {

// The listing of a runnable program, then a blank line and its symbol table.
std::string renderListing(const Program& program);

}  // namespace tavro
