// The simulated cameras' own small bitmap font: one 5x8 glyph for each
// printable ASCII character (rows top down, bit 4 the leftmost pixel;
// capitals in rows 0-6, descenders in row 7) and a box for anything else.
// Large enough, drawn at a few pixels per font pixel, that a test reads a
// camera's name back out of its JPEG by matching glyphs.

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim::font {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 8;
// A character cell is the glyph plus one column and two rows of space.
inline constexpr int kCellWidth = kGlyphWidth + 1;
inline constexpr int kCellHeight = kGlyphHeight + 2;

using Glyph = std::array<std::uint8_t, kGlyphHeight>;

// The glyph of code point c: its own for U+0020..U+007E, else the box.
const Glyph& GlyphOf(char32_t c);
// The box drawn for every code point without a glyph.
const Glyph& UnknownGlyph();

// The code points of UTF-8 text; a byte that starts no valid sequence
// counts as one unknown code point (drawn as the box).
std::vector<char32_t> CodePoints(const std::string& utf8);

// The character whose glyph is bits, '?' for the box, '\0' for none.
char CharacterOf(const Glyph& bits);

} // namespace devsim::font
