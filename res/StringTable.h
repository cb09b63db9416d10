#pragma once

#include <string>

namespace res {

// The program's string table (UTF-8). An ID without an entry, or with an
// empty one, gives the empty string.
std::string LoadString(unsigned id);

}  // namespace res
