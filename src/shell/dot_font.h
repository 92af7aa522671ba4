#pragma once
// The 5 x 7 dot font of the show's own labels: the viewer's overlay and the
// capture tool's contact sheet. Digits, capitals and a little punctuation.
#include <cstdint>
#include <string_view>

namespace shell {

// Seven rows of five dots, the leftmost dot in bit 4; null for a space or a
// character the font lacks (left blank).
const std::uint8_t* DotGlyph(char c);

// Each character takes a cell of 6 x 9 dots (its glyph and the space to
// the next); "\n" starts the next line.
inline constexpr int kDotCellWidth = 6;
inline constexpr int kDotCellHeight = 9;

// Calls dot(x, y) for every lit dot of the text, in dots from its top-left
// corner.
template <typename DotFn>
void ForEachDot(std::string_view text, DotFn dot) {
  int cellX = 0, cellY = 0;
  for (char c : text) {
    if (c == '\n') {
      cellX = 0;
      cellY += kDotCellHeight;
      continue;
    }
    if (const std::uint8_t* rows = DotGlyph(c)) {
      for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
          if (rows[row] & (0x10 >> column)) dot(cellX + column, cellY + row);
        }
      }
    }
    cellX += kDotCellWidth;
  }
}

}  // namespace shell
