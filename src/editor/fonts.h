// The editor's font families: found first among the fonts the plug-in carries,
// registered privately with GDI+ on the first paint, then among the installed
// ones, always by name.
#pragma once

#include "platform/win32.h"

namespace orbelune {

// A new family of that name for the caller to delete, or null when neither the
// carried nor the installed fonts have it (its texts then stay undrawn).
Gdiplus::GpFontFamily* findEditorFontFamily(const wchar_t* name);

// Deletes the private collection; GDI+ must still be running.
void releaseEditorFonts();

}  // namespace orbelune
