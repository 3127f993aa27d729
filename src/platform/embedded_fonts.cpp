// The font files go into the read-only data of the object as they are, by the
// assembler's .incbin; the build names their folder in ORBELUNE_FONT_DIR.
#include "platform/embedded_fonts.h"

#if defined(ORBELUNE_FONT_DIR)

#if defined(_WIN32)
#define ORBELUNE_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#define ORBELUNE_LOCAL_SYMBOL(name) ""
#else
#define ORBELUNE_READ_ONLY_SECTION ".section .rodata\n"
#define ORBELUNE_LOCAL_SYMBOL(name) ".hidden " #name "\n"
#endif

// Start and end labels for one file; the C++ side sees them as byte arrays.
#define ORBELUNE_EMBED(name, file)                                                                      \
    __asm__(ORBELUNE_READ_ONLY_SECTION ".balign 16\n.globl " #name "\n" ORBELUNE_LOCAL_SYMBOL(name) #name \
            ":\n.incbin \"" ORBELUNE_FONT_DIR "/" file "\"\n.globl " #name "End\n"                         \
            ORBELUNE_LOCAL_SYMBOL(name##End) #name "End:\n.text\n");                                \
    extern "C" const unsigned char name[];                                                               \
    extern "C" const unsigned char name##End[];

ORBELUNE_EMBED(orbeluneInterRegular, "inter/Inter_400Regular.ttf")
ORBELUNE_EMBED(orbeluneInterBold, "inter/Inter_700Bold.ttf")
ORBELUNE_EMBED(orbeluneCinzelBold, "cinzel/Cinzel_700Bold.ttf")

namespace {
const unsigned char* const fontBounds[][2] = {{orbeluneInterRegular, orbeluneInterRegularEnd},
                                              {orbeluneInterBold, orbeluneInterBoldEnd},
                                              {orbeluneCinzelBold, orbeluneCinzelBoldEnd}};
constexpr int kFontCount = sizeof(fontBounds) / sizeof(fontBounds[0]);
}  // namespace

namespace orbelune::platform {

int embeddedFontCount() { return kFontCount; }

EmbeddedFont embeddedFont(int index) {
    if (index < 0 || index >= kFontCount) return {nullptr, 0};
    return {fontBounds[index][0], static_cast<int>(fontBounds[index][1] - fontBounds[index][0])};
}

}  // namespace orbelune::platform

#else

namespace orbelune::platform {

int embeddedFontCount() { return 0; }
EmbeddedFont embeddedFont(int) { return {nullptr, 0}; }

}  // namespace orbelune::platform

#endif
