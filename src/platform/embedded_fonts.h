// The editor's fonts, carried inside the binary as published, so its texts
// appear on a machine that has none of them installed.
#pragma once

namespace orbelune::platform {

struct EmbeddedFont {
    const void* data;
    int size;
};

// How many fonts the build embedded (none when it was made without them), and
// each one's bytes, which live as long as the module.
int embeddedFontCount();
EmbeddedFont embeddedFont(int index);

}  // namespace orbelune::platform
