// The remembered frame's text form, {{x, y}, {w, h}}, and its lenient reading.
#pragma once

#include <string>
#include <string_view>

#include "platform/geometry.h"

namespace plenhall {

// Shortest text that reads back to the same numbers, e.g. {{72, 43.5}, {1296, 788}}.
std::string frameToString(const Rect& frame);

// Reads the first four numbers in the text as x, y, width and height; missing ones are 0. Text
// with no number, or a number that is not finite (inf, nan, 1e999), gives the zero rectangle.
Rect rectFromString(std::string_view text);

}  // namespace plenhall
