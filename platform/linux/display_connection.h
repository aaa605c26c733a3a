#pragma once

// Opens FLTK's connection to the X display on first need. False when there is
// no display: windows can then be built but not shown. (FLTK left to itself
// would end the process when it cannot open the display.)
bool display_available();
