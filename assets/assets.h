// The two pictures of the main window, as PNG data embedded in the program at build time.
#pragma once

#include <cstddef>

extern const unsigned char monster_archer_png[]; // 130 x 130, 8-bit RGBA
extern const size_t monster_archer_png_size;
extern const unsigned char adventurers_png[]; // 130 x 91, 8-bit RGBA
extern const size_t adventurers_png_size;
