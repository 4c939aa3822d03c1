#pragma once

// Maps the font names the windows ask for to fonts a Linux desktop has, so Chinese never
// shows as boxes.
void installFontSubstitutes();
