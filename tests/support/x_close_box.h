#pragma once

#include <string>

// Sends what a window manager sends when the close box of the X window
// `window_id` (decimal, as xdotool prints it) is clicked: WM_DELETE_WINDOW.
// False when there is no display.
bool click_close_box(const std::string& window_id);
