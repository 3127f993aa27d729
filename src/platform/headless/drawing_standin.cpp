// The stand-in's GDI32 and GDI+ flat interface: nothing is drawn, every call is
// recorded with its arguments, and every object handed out is tracked until it
// is released, so a test can read a frame as a list of calls and check that the
// frame left nothing behind.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/headless/standin_state.h"
#include "platform/win32.h"

namespace {

using namespace Gdiplus;

// One object handed out: its kind and what later calls report about it.
struct DrawingObject {
    DrawingObject(const char* kindName) : kind(kindName) {}  // NOLINT: made from its kind's name
    std::string kind;
    double colour = -1.0;  // solid brushes and pens; -1 for the rest
    double width = 0.0;    // pens
    double emSize = 0.0;   // fonts
    double style = 0.0;    // fonts
    double align = -1.0;   // string formats
    double lineAlign = 0.0;
    std::wstring familyName;  // families and fonts
    HGDIOBJ selected = nullptr;  // memory device contexts
    std::vector<const void*> ownedFamilies;  // private collections: the families they list
    bool ownedByCollection = false;
};

struct DrawingState {
    std::map<const void*, std::unique_ptr<DrawingObject>> objects;
    std::vector<standin::DrawingCall> calls;
    std::vector<std::wstring> installedFamilies{L"Inter", L"Cinzel"};
};

// Released when the module unloads, like the window system.
DrawingState*& drawingSlot() {
    static DrawingState* instance = new DrawingState;
    return instance;
}

DrawingState& drawing() { return *drawingSlot(); }

// The bitmap a new memory context starts with, as GDI's stock one.
char stockBitmap;

DrawingObject* find(const void* handle, const char* kind = nullptr) {
    auto found = drawing().objects.find(handle);
    if (found == drawing().objects.end()) return nullptr;
    if (kind != nullptr && found->second->kind != kind) return nullptr;
    return found->second.get();
}

bool isBrush(const DrawingObject* object) {
    return object != nullptr && (object->kind == "solid" || object->kind == "lineGradient" ||
                                 object->kind == "pathGradient");
}

template <typename Handle>
Handle* create(DrawingObject object) {
    auto owned = std::make_unique<DrawingObject>(std::move(object));
    auto* handle = reinterpret_cast<Handle*>(owned.get());
    drawing().objects.emplace(handle, std::move(owned));
    return handle;
}

bool release(const void* handle, bool (*matches)(const DrawingObject*)) {
    DrawingObject* object = find(handle);
    if (object == nullptr || !matches(object)) return false;
    drawing().objects.erase(handle);
    return true;
}

// Pointer results are recorded as 0 for a handle and 1 for a null one.
int statusOf(int status) { return status; }
int statusOf(Status status) { return static_cast<int>(status); }
int statusOf(const void* handle) { return handle != nullptr ? 0 : 1; }

template <typename Result>
Result record(std::string function, std::vector<double> arguments, Result result, std::wstring text = {}) {
    drawing().calls.push_back({std::move(function), std::move(arguments), std::move(text), statusOf(result)});
    return result;
}

Status recordStatus(const char* function, std::vector<double> arguments, bool succeeded, std::wstring text = {}) {
    return record(function, std::move(arguments), succeeded ? Ok : InvalidParameter, std::move(text));
}

double colourOf(const void* brushOrPen) {
    const DrawingObject* object = find(brushOrPen);
    return object != nullptr ? object->colour : -1.0;
}

double widthOf(const void* pen) {
    const DrawingObject* object = find(pen, "pen");
    return object != nullptr ? object->width : 0.0;
}

bool drawable(const void* graphics, const void* brushOrPen, bool pen) {
    if (find(graphics, "graphics") == nullptr) return false;
    return pen ? find(brushOrPen, "pen") != nullptr : isBrush(find(brushOrPen));
}

}  // namespace

HDC CreateCompatibleDC(HDC) {
    std::lock_guard lock(standin::detail::lock());
    DrawingObject context{"memoryContext"};
    context.selected = reinterpret_cast<HGDIOBJ>(&stockBitmap);
    return record("CreateCompatibleDC", {}, create<HDC__>(std::move(context)));
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    std::lock_guard lock(standin::detail::lock());
    return record("CreateCompatibleBitmap", {double(width), double(height)}, create<HGDIOBJ__>({"bitmap"}));
}

HGDIOBJ SelectObject(HDC context, HGDIOBJ object) {
    std::lock_guard lock(standin::detail::lock());
    DrawingObject* memory = find(context, "memoryContext");
    const bool known = object == reinterpret_cast<HGDIOBJ>(&stockBitmap) || find(object, "bitmap") != nullptr;
    if (memory == nullptr || !known) return record<HGDIOBJ>("SelectObject", {}, nullptr);
    return record("SelectObject", {}, std::exchange(memory->selected, object));
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD operation) {
    std::lock_guard lock(standin::detail::lock());
    const double fromMemory = find(source, "memoryContext") != nullptr ? 1.0 : 0.0;
    const double toMemory = find(destination, "memoryContext") != nullptr ? 1.0 : 0.0;
    return record("BitBlt",
                  {double(x), double(y), double(width), double(height), double(sourceX), double(sourceY),
                   double(operation), toMemory, fromMemory},
                  TRUE);
}

// A bitmap still selected into a context cannot be deleted, as in GDI.
BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard lock(standin::detail::lock());
    bool selected = false;
    for (const auto& entry : drawing().objects) selected = selected || entry.second->selected == object;
    const bool deleted = !selected && release(object, [](const DrawingObject* found) { return found->kind == "bitmap"; });
    return record("DeleteObject", {}, deleted ? TRUE : FALSE);
}

BOOL DeleteDC(HDC context) {
    std::lock_guard lock(standin::detail::lock());
    const bool deleted = release(context, [](const DrawingObject* found) { return found->kind == "memoryContext"; });
    return record("DeleteDC", {}, deleted ? TRUE : FALSE);
}

namespace Gdiplus::DllExports {

GpStatus GdipCreateFromHDC(HDC context, GpGraphics** graphics) {
    std::lock_guard lock(standin::detail::lock());
    const bool valid = find(context, "memoryContext") != nullptr && graphics != nullptr;
    if (valid) *graphics = create<GpGraphics>({"graphics"});
    return recordStatus("GdipCreateFromHDC", {}, valid);
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeleteGraphics", {},
                        release(graphics, [](const DrawingObject* found) { return found->kind == "graphics"; }));
}

GpStatus GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipSetSmoothingMode", {double(mode)}, find(graphics, "graphics") != nullptr);
}

GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint hint) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipSetTextRenderingHint", {double(hint)}, find(graphics, "graphics") != nullptr);
}

GpStatus GdipCreateSolidFill(ARGB colour, GpSolidFill** brush) {
    std::lock_guard lock(standin::detail::lock());
    if (brush != nullptr) {
        DrawingObject solid{"solid"};
        solid.colour = colour;
        *brush = create<GpSolidFill>(std::move(solid));
    }
    return recordStatus("GdipCreateSolidFill", {double(colour)}, brush != nullptr);
}

GpStatus GdipCreateLineBrushFromRectI(const GpRect* rect, ARGB first, ARGB second, LinearGradientMode mode,
                                      GpWrapMode wrap, GpLineGradient** brush) {
    std::lock_guard lock(standin::detail::lock());
    const bool valid = rect != nullptr && brush != nullptr;
    if (valid) *brush = create<GpLineGradient>({"lineGradient"});
    if (!valid) return recordStatus("GdipCreateLineBrushFromRectI", {}, false);
    return recordStatus("GdipCreateLineBrushFromRectI",
                        {double(rect->X), double(rect->Y), double(rect->Width), double(rect->Height), double(first),
                         double(second), double(mode), double(wrap)},
                        true);
}

GpStatus GdipCreatePathGradientFromPath(const GpPath* path, GpPathGradient** brush) {
    std::lock_guard lock(standin::detail::lock());
    const bool valid = find(path, "path") != nullptr && brush != nullptr;
    if (valid) *brush = create<GpPathGradient>({"pathGradient"});
    return recordStatus("GdipCreatePathGradientFromPath", {}, valid);
}

GpStatus GdipSetPathGradientCenterColor(GpPathGradient* brush, ARGB colour) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipSetPathGradientCenterColor", {double(colour)}, find(brush, "pathGradient") != nullptr);
}

GpStatus GdipSetPathGradientSurroundColorsWithCount(GpPathGradient* brush, const ARGB* colours, INT* count) {
    std::lock_guard lock(standin::detail::lock());
    const bool valid = find(brush, "pathGradient") != nullptr && colours != nullptr && count != nullptr && *count > 0;
    std::vector<double> arguments;
    if (valid) {
        arguments.push_back(*count);
        for (INT index = 0; index < *count; ++index) arguments.push_back(colours[index]);
    }
    return recordStatus("GdipSetPathGradientSurroundColorsWithCount", std::move(arguments), valid);
}

GpStatus GdipDeleteBrush(GpBrush* brush) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeleteBrush", {}, release(brush, isBrush));
}

GpStatus GdipCreatePen1(ARGB colour, REAL width, GpUnit unit, GpPen** pen) {
    std::lock_guard lock(standin::detail::lock());
    if (pen != nullptr) {
        DrawingObject created{"pen"};
        created.colour = colour;
        created.width = width;
        *pen = create<GpPen>(std::move(created));
    }
    return recordStatus("GdipCreatePen1", {double(colour), double(width), double(unit)}, pen != nullptr);
}

GpStatus GdipDeletePen(GpPen* pen) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeletePen", {},
                        release(pen, [](const DrawingObject* found) { return found->kind == "pen"; }));
}

GpStatus GdipCreatePath(GpFillMode mode, GpPath** path) {
    std::lock_guard lock(standin::detail::lock());
    if (path != nullptr) *path = create<GpPath>({"path"});
    return recordStatus("GdipCreatePath", {double(mode)}, path != nullptr);
}

GpStatus GdipAddPathEllipseI(GpPath* path, INT x, INT y, INT width, INT height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipAddPathEllipseI", {double(x), double(y), double(width), double(height)},
                        find(path, "path") != nullptr);
}

GpStatus GdipDeletePath(GpPath* path) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeletePath", {},
                        release(path, [](const DrawingObject* found) { return found->kind == "path"; }));
}

GpStatus GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipFillRectangleI",
                        {double(x), double(y), double(width), double(height), colourOf(brush)},
                        drawable(graphics, brush, false));
}

GpStatus GdipFillEllipseI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipFillEllipseI", {double(x), double(y), double(width), double(height), colourOf(brush)},
                        drawable(graphics, brush, false));
}

GpStatus GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipFillPath", {colourOf(brush)},
                        drawable(graphics, brush, false) && find(path, "path") != nullptr);
}

GpStatus GdipDrawRectangleI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDrawRectangleI",
                        {double(x), double(y), double(width), double(height), colourOf(pen), widthOf(pen)},
                        drawable(graphics, pen, true));
}

GpStatus GdipDrawEllipse(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDrawEllipse", {x, y, width, height, colourOf(pen), widthOf(pen)},
                        drawable(graphics, pen, true));
}

GpStatus GdipDrawEllipseI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDrawEllipseI",
                        {double(x), double(y), double(width), double(height), colourOf(pen), widthOf(pen)},
                        drawable(graphics, pen, true));
}

GpStatus GdipDrawArcI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height, REAL startAngle,
                      REAL sweepAngle) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDrawArcI",
                        {double(x), double(y), double(width), double(height), startAngle, sweepAngle, colourOf(pen),
                         widthOf(pen)},
                        drawable(graphics, pen, true));
}

GpStatus GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDrawLine", {x1, y1, x2, y2, colourOf(pen), widthOf(pen)}, drawable(graphics, pen, true));
}

GpStatus GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection*, GpFontFamily** family) {
    std::lock_guard lock(standin::detail::lock());
    const std::wstring wanted = name != nullptr ? name : L"";
    bool installed = false;
    for (const std::wstring& candidate : drawing().installedFamilies) installed = installed || candidate == wanted;
    if (!installed || family == nullptr) return record("GdipCreateFontFamilyFromName", {}, FontFamilyNotFound, wanted);
    DrawingObject created{"fontFamily"};
    created.familyName = wanted;
    *family = create<GpFontFamily>(std::move(created));
    return record("GdipCreateFontFamilyFromName", {}, Ok, wanted);
}

GpStatus GdipSetClipRectI(GpGraphics* graphics, INT x, INT y, INT width, INT height, CombineMode mode) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipSetClipRectI", {double(x), double(y), double(width), double(height), double(mode)},
                        find(graphics, "graphics") != nullptr);
}

GpStatus GdipScaleWorldTransform(GpGraphics* graphics, REAL scaleX, REAL scaleY, MatrixOrder order) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipScaleWorldTransform", {double(scaleX), double(scaleY), double(order)},
                        find(graphics, "graphics") != nullptr);
}

// A private collection here holds the families that a lookup among the
// installed ones would find; the font data handed to it is only counted.
GpStatus GdipNewPrivateFontCollection(GpFontCollection** collection) {
    std::lock_guard lock(standin::detail::lock());
    if (collection != nullptr) *collection = create<GpFontCollection>({"fontCollection"});
    return recordStatus("GdipNewPrivateFontCollection", {}, collection != nullptr);
}

GpStatus GdipDeletePrivateFontCollection(GpFontCollection** collection) {
    std::lock_guard lock(standin::detail::lock());
    if (DrawingObject* owner = collection != nullptr ? find(*collection, "fontCollection") : nullptr)
        for (const void* family : owner->ownedFamilies) drawing().objects.erase(family);
    const bool released = collection != nullptr &&
                          release(*collection, [](const DrawingObject* found) { return found->kind == "fontCollection"; });
    if (released) *collection = nullptr;
    return recordStatus("GdipDeletePrivateFontCollection", {}, released);
}

GpStatus GdipPrivateAddMemoryFont(GpFontCollection* collection, const void* memory, INT length) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipPrivateAddMemoryFont", {double(length)},
                        find(collection, "fontCollection") != nullptr && memory != nullptr && length > 0);
}

GpStatus GdipGetFontCollectionFamilyCount(GpFontCollection* collection, INT* count) {
    std::lock_guard lock(standin::detail::lock());
    const bool valid = find(collection, "fontCollection") != nullptr && count != nullptr;
    if (valid) *count = static_cast<INT>(drawing().installedFamilies.size());
    return recordStatus("GdipGetFontCollectionFamilyCount", {}, valid);
}

// As in GDI+, the families listed belong to the collection: a caller that
// keeps one clones it.
GpStatus GdipGetFontCollectionFamilyList(GpFontCollection* collection, INT wanted, GpFontFamily* families[],
                                         INT* found) {
    std::lock_guard lock(standin::detail::lock());
    DrawingObject* owner = find(collection, "fontCollection");
    const bool valid = owner != nullptr && families != nullptr && found != nullptr;
    if (!valid) return recordStatus("GdipGetFontCollectionFamilyList", {}, false);
    if (owner->ownedFamilies.empty()) {
        for (const std::wstring& name : drawing().installedFamilies) {
            DrawingObject created{"fontFamily"};
            created.familyName = name;
            created.ownedByCollection = true;
            owner->ownedFamilies.push_back(create<GpFontFamily>(std::move(created)));
        }
    }
    *found = 0;
    for (const void* family : owner->ownedFamilies) {
        if (*found >= wanted) break;
        families[(*found)++] = static_cast<GpFontFamily*>(const_cast<void*>(family));
    }
    return recordStatus("GdipGetFontCollectionFamilyList", {double(*found)}, true);
}

GpStatus GdipGetFamilyName(const GpFontFamily* family, WCHAR name[LF_FACESIZE], LANGID) {
    std::lock_guard lock(standin::detail::lock());
    const DrawingObject* source = find(family, "fontFamily");
    if (source == nullptr || name == nullptr) return recordStatus("GdipGetFamilyName", {}, false);
    const std::wstring copied = source->familyName.substr(0, LF_FACESIZE - 1);
    copied.copy(name, copied.size());
    name[copied.size()] = L'\0';
    return recordStatus("GdipGetFamilyName", {}, true, copied);
}

GpStatus GdipCloneFontFamily(GpFontFamily* family, GpFontFamily** clone) {
    std::lock_guard lock(standin::detail::lock());
    const DrawingObject* source = find(family, "fontFamily");
    if (source == nullptr || clone == nullptr) return recordStatus("GdipCloneFontFamily", {}, false);
    DrawingObject created{"fontFamily"};
    created.familyName = source->familyName;
    *clone = create<GpFontFamily>(std::move(created));
    return recordStatus("GdipCloneFontFamily", {}, true, source->familyName);
}

GpStatus GdipDeleteFontFamily(GpFontFamily* family) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeleteFontFamily", {}, release(family, [](const DrawingObject* found) {
                            return found->kind == "fontFamily" && !found->ownedByCollection;
                        }));
}

GpStatus GdipCreateFont(const GpFontFamily* family, REAL emSize, INT style, Unit unit, GpFont** font) {
    std::lock_guard lock(standin::detail::lock());
    const DrawingObject* source = find(family, "fontFamily");
    const std::vector<double> arguments{emSize, double(style), double(unit)};
    if (source == nullptr || font == nullptr) return recordStatus("GdipCreateFont", arguments, false);
    DrawingObject created{"font"};
    created.familyName = source->familyName;
    created.emSize = emSize;
    created.style = style;
    *font = create<GpFont>(std::move(created));
    return recordStatus("GdipCreateFont", arguments, true, source->familyName);
}

GpStatus GdipDeleteFont(GpFont* font) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeleteFont", {},
                        release(font, [](const DrawingObject* found) { return found->kind == "font"; }));
}

GpStatus GdipCreateStringFormat(INT flags, LANGID language, GpStringFormat** format) {
    std::lock_guard lock(standin::detail::lock());
    if (format != nullptr) {
        DrawingObject created{"stringFormat"};
        created.align = StringAlignmentNear;
        created.lineAlign = StringAlignmentNear;
        *format = create<GpStringFormat>(std::move(created));
    }
    return recordStatus("GdipCreateStringFormat", {double(flags), double(language)}, format != nullptr);
}

GpStatus GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
    std::lock_guard lock(standin::detail::lock());
    DrawingObject* found = find(format, "stringFormat");
    if (found != nullptr) found->align = align;
    return recordStatus("GdipSetStringFormatAlign", {double(align)}, found != nullptr);
}

GpStatus GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align) {
    std::lock_guard lock(standin::detail::lock());
    DrawingObject* found = find(format, "stringFormat");
    if (found != nullptr) found->lineAlign = align;
    return recordStatus("GdipSetStringFormatLineAlign", {double(align)}, found != nullptr);
}

GpStatus GdipDeleteStringFormat(GpStringFormat* format) {
    std::lock_guard lock(standin::detail::lock());
    return recordStatus("GdipDeleteStringFormat", {},
                        release(format, [](const DrawingObject* found) { return found->kind == "stringFormat"; }));
}

// Recorded arguments: the layout rectangle, the font's size and style, the
// brush's colour, and the format's two alignments (-1 for the default format).
// The font's family follows the text, after a tab.
GpStatus GdipDrawString(GpGraphics* graphics, const WCHAR* text, INT length, const GpFont* font,
                        const RectF* layout, const GpStringFormat* format, const GpBrush* brush) {
    std::lock_guard lock(standin::detail::lock());
    const DrawingObject* usedFont = find(font, "font");
    const DrawingObject* usedFormat = find(format, "stringFormat");
    const bool valid = find(graphics, "graphics") != nullptr && text != nullptr && usedFont != nullptr &&
                       layout != nullptr && isBrush(find(brush)) && (format == nullptr || usedFormat != nullptr);
    std::wstring shown = text == nullptr ? L"" : length < 0 ? std::wstring(text) : std::wstring(text, length);
    if (!valid) return recordStatus("GdipDrawString", {}, false, shown);
    return recordStatus("GdipDrawString",
                        {layout->X, layout->Y, layout->Width, layout->Height, usedFont->emSize, usedFont->style,
                         colourOf(brush), usedFormat != nullptr ? usedFormat->align : -1.0,
                         usedFormat != nullptr ? usedFormat->lineAlign : -1.0},
                        true, shown + L"\t" + usedFont->familyName);
}

}  // namespace Gdiplus::DllExports

namespace standin {

namespace detail {

// Both are constant-initialised and trivially destroyed, so they stay usable
// however late the module's unload step runs.
std::mutex standinLock;
Counters standinCounters;

std::mutex& lock() { return standinLock; }

Counters& counters() { return standinCounters; }


}  // namespace detail

const std::vector<DrawingCall>& drawingCalls() { return drawing().calls; }

void clearDrawingCalls() {
    std::lock_guard lock(detail::lock());
    drawing().calls.clear();
}

int liveDrawingObjects() {
    std::lock_guard lock(detail::lock());
    int count = 0;
    for (const auto& entry : drawing().objects)
        count += entry.second->kind != "fontCollection" && !entry.second->ownedByCollection ? 1 : 0;
    return count;
}

int liveFontCollections() {
    std::lock_guard lock(detail::lock());
    int count = 0;
    for (const auto& entry : drawing().objects) count += entry.second->kind == "fontCollection" ? 1 : 0;
    return count;
}

void setInstalledFontFamilies(std::vector<std::wstring> families) {
    std::lock_guard lock(detail::lock());
    drawing().installedFamilies = std::move(families);
}

}  // namespace standin

void orbelune::platform::releaseDrawingState() {
    delete drawingSlot();
    drawingSlot() = nullptr;
}
