#pragma once

// Whether a pop-up menu is on the screen of DISPLAY: a mapped override-redirect
// window, as FLTK's drop-down lists and menus are. False when there is no display.
bool popup_menu_shown();
