#pragma once

#include <cmath>

// Dialog templates measure in dialog units, a quarter of the average
// character width and an eighth of the character height of the dialog font.
// This layer draws every dialog with the same base units, 6 by 13 pixels,
// those of the 8-point system font at 96 dots per inch; rounded like MulDiv.
constexpr int DIALOG_BASE_UNIT_X = 6;
constexpr int DIALOG_BASE_UNIT_Y = 13;

inline int dialog_x_to_pixels(int x) {
    return static_cast<int>(std::lround(x * DIALOG_BASE_UNIT_X / 4.0));
}

inline int dialog_y_to_pixels(int y) {
    return static_cast<int>(std::lround(y * DIALOG_BASE_UNIT_Y / 8.0));
}
