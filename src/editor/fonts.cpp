#include "editor/fonts.h"

#include <cwchar>

#include "editor/editor.h"
#include "platform/embedded_fonts.h"

namespace orbelune {

namespace {

namespace flat = Gdiplus::DllExports;

// Made once per module, while GDI+ runs, and kept until GDI+ stops: the paint
// of every instance's editor shares it.
Gdiplus::GpFontCollection* editorFonts() {
    if (module.fontCollectionTried || module.gdiplusToken == 0) return module.fontCollection;
    module.fontCollectionTried = true;
    if (platform::embeddedFontCount() == 0) return nullptr;
    Gdiplus::GpFontCollection* collection = nullptr;
    if (flat::GdipNewPrivateFontCollection(&collection) != Gdiplus::Ok) return nullptr;
    for (int index = 0; index < platform::embeddedFontCount(); ++index) {
        const platform::EmbeddedFont font = platform::embeddedFont(index);
        flat::GdipPrivateAddMemoryFont(collection, font.data, font.size);
    }
    module.fontCollection = collection;
    return collection;
}

// The family whose own name is `name`, by walking the collection. Wine's lookup
// by name compares the full name of a family's first face ("Inter Regular")
// rather than the family's name, so it misses families that GDI+ on Windows
// finds; the names the collection reports for its families are right in both.
Gdiplus::GpFontFamily* scanCollection(Gdiplus::GpFontCollection* collection, const wchar_t* name) {
    constexpr int kMostFamilies = 8;
    constexpr int kFamilyNameCharacters = 32;  // GDI's face-name size, terminator included
    INT count = 0;
    if (flat::GdipGetFontCollectionFamilyCount(collection, &count) != Gdiplus::Ok || count <= 0) return nullptr;
    Gdiplus::GpFontFamily* families[kMostFamilies] = {};
    INT found = 0;
    if (flat::GdipGetFontCollectionFamilyList(collection, count < kMostFamilies ? count : kMostFamilies, families,
                                              &found) != Gdiplus::Ok)
        return nullptr;
    Gdiplus::GpFontFamily* match = nullptr;
    for (INT index = 0; index < found; ++index) {
        WCHAR familyName[kFamilyNameCharacters] = {};
        if (match == nullptr && flat::GdipGetFamilyName(families[index], familyName, 0) == Gdiplus::Ok &&
            std::wcscmp(familyName, name) == 0)
            flat::GdipCloneFontFamily(families[index], &match);
    }
    return match;
}

}  // namespace

Gdiplus::GpFontFamily* findEditorFontFamily(const wchar_t* name) {
    Gdiplus::GpFontFamily* family = nullptr;
    if (Gdiplus::GpFontCollection* collection = editorFonts()) {
        if (flat::GdipCreateFontFamilyFromName(name, collection, &family) == Gdiplus::Ok) return family;
        family = scanCollection(collection, name);
        if (family != nullptr) return family;
    }
    if (flat::GdipCreateFontFamilyFromName(name, nullptr, &family) != Gdiplus::Ok) return nullptr;
    return family;
}

void releaseEditorFonts() {
    if (module.fontCollection != nullptr) flat::GdipDeletePrivateFontCollection(&module.fontCollection);
    module.fontCollection = nullptr;
    module.fontCollectionTried = false;
}

}  // namespace orbelune
