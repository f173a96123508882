#pragma once
// The pictures that carry text, set with the saver's own text rendering.

#include "artlib.h"

namespace art {

// One line of text as white with coverage alpha; false when no font could be opened.
bool RenderTextLine(const char* text, const char* family, int pixelHeight, bool bold, Image* out);
// The maker's name for the logo label: 256 x 64, white on transparent.
bool RenderLabel(Image* out);
// The driver warning on a dark panel at most 512 pixels wide.
bool RenderErrorPanel(Image* out);

} // namespace art
