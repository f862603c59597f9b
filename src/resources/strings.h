// The program's numbered texts: alert texts (pieces separated by "|"), progress texts and
// other user-visible strings, addressed by number.
#pragma once

#include <string_view>

// The text of resource `id`, or an empty view when the table has no such entry.
std::string_view ResourceString(unsigned id);
