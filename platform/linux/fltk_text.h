#pragma once

#include <string>

// Texts of the Windows calls as FLTK must be given them to draw them as the
// system would: FLTK shows a carriage return as "^M" and reads '@' as the
// start of a symbol, where the system breaks the line and shows '@'.

// A label: CR LF (and a lone CR) become a line feed, '@' is doubled. A '&'
// keeps its meaning, which is the system's: it marks the mnemonic letter.
std::string label_text(const char* text);

// A menu item of a combo box list: as a label, and '&' doubled, since menus
// draw '&' as a mnemonic mark where a list shows it as it is.
std::string menu_item_text(const char* text);
