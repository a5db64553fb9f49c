// The two pictures of the main window and the program's icon, as PNG data embedded in the
// program at build time.
#pragma once

#include <cstddef>

extern const unsigned char monster_archer_png[]; // 130 x 130, 8-bit RGBA
extern const size_t monster_archer_png_size;
extern const unsigned char adventurers_png[]; // 130 x 91, 8-bit RGBA
extern const size_t adventurers_png_size;
// The same drawings at twice the size, for windows shown larger.
extern const unsigned char monster_archer_2x_png[]; // 260 x 260, 8-bit RGBA
extern const size_t monster_archer_2x_png_size;
extern const unsigned char adventurers_2x_png[]; // 260 x 182, 8-bit RGBA
extern const size_t adventurers_2x_png_size;

// The program's icon, the art of its desktop icons, at 32, 48, 64 and 128 pixels square (8-bit
// RGBA).
extern const unsigned char icon32_png[];
extern const size_t icon32_png_size;
extern const unsigned char icon48_png[];
extern const size_t icon48_png_size;
extern const unsigned char icon64_png[];
extern const size_t icon64_png_size;
extern const unsigned char icon128_png[];
extern const size_t icon128_png_size;
