// The drawing half of the Linux editor: the GDI32 calls and the subset of the
// GDI+ flat interface that the painting uses, answered with cairo. Bitmaps are
// cairo image surfaces; text is drawn from FreeType outlines as cairo paths, so
// the glyphs follow the same geometry as GDI+'s antialiased text.
//
// GDI+ puts pixel centres on integer coordinates and cairo on half-integers,
// so every graphics object draws half a pixel across and down; clipping stays
// on whole pixels, as GDI+'s does.
#include "platform/linux/device_context.h"
#include "platform/win32.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

using namespace Gdiplus;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kPixelCentre = 0.5;
// A layout point's text starts this many ems to the right of it, as GDI+'s
// default string format pads each line.
constexpr float kLinePaddingEms = 1.0f / 6.0f;

// One face of a font: the FreeType face and, for fonts given from memory, the
// bytes it reads from.
struct FaceRecord {
    FT_Face face = nullptr;
    std::vector<unsigned char> bytes;
    bool bold = false;
    double ascent = 0.0;   // in ems: the line's height above and below the baseline
    double descent = 0.0;
    ~FaceRecord();
};
using Face = std::shared_ptr<FaceRecord>;

struct FamilyRecord {
    std::wstring name;
    std::vector<Face> faces;
    bool ownedByCollection = false;
};

struct CollectionRecord {
    std::vector<std::unique_ptr<FamilyRecord>> families;
};

struct FontRecord {
    Face face;
    float emSize = 0.0f;
};

struct GraphicsRecord {
    cairo_t* context = nullptr;
};

enum class BrushKind { solid, line, path };
struct BrushRecord {
    BrushKind kind = BrushKind::solid;
    ARGB first = 0;   // solid and line brushes; a path brush's centre
    ARGB second = 0;  // line brushes; a path brush's surround
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0;  // the gradient's rectangle or ellipse box
    LinearGradientMode mode = LinearGradientModeHorizontal;
};

struct PenRecord {
    ARGB colour = 0;
    REAL width = 1.0f;
};

struct Ellipse {
    double x, y, width, height;
};
struct PathRecord {
    std::vector<Ellipse> figures;
};

struct FormatRecord {
    StringAlignment align = StringAlignmentNear;
    StringAlignment lineAlign = StringAlignmentNear;
};

// What the process keeps between frames: FreeType, and the installed faces
// found by name. The lock covers them, the face count and every FreeType face.
struct FontSystem {
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    std::map<std::wstring, std::vector<Face>> installed;
    int liveFaces = 0;
};
std::mutex fontLock;
// Made on first use and freed by the module's unload step rather than by the
// static destructors, which in a program that links the editor run first.
FontSystem*& fontSystemSlot() {
    static FontSystem* system = nullptr;
    return system;
}
FontSystem& fontSystem() {
    if (fontSystemSlot() == nullptr) fontSystemSlot() = new FontSystem;
    return *fontSystemSlot();
}

FaceRecord::~FaceRecord() {
    std::lock_guard lock(fontLock);
    if (face != nullptr) FT_Done_Face(face);
    --fontSystem().liveFaces;
}

FT_Library freetype() {
    if (fontSystem().library == nullptr && FT_Init_FreeType(&fontSystem().library) != 0) fontSystem().library = nullptr;
    return fontSystem().library;
}

std::wstring widen(const char* text) {
    std::wstring wide;
    for (const char* cursor = text != nullptr ? text : ""; *cursor != '\0'; ++cursor)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*cursor)));
    return wide;
}

bool sameName(const std::wstring& first, const std::wstring& second) {
    if (first.size() != second.size()) return false;
    for (std::size_t index = 0; index < first.size(); ++index)
        if (std::towlower(first[index]) != std::towlower(second[index])) return false;
    return true;
}

// Completes a face that FreeType opened: its style and line metrics. Called
// with the font lock held.
Face adoptFace(FT_Face opened, std::vector<unsigned char> bytes) {
    auto record = std::make_shared<FaceRecord>();
    ++fontSystem().liveFaces;
    record->face = opened;
    record->bytes = std::move(bytes);
    record->bold = (opened->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    const double units = opened->units_per_EM > 0 ? opened->units_per_EM : 1000.0;
    // GDI+ sets lines by the Windows metrics of the OS/2 table where a font has them.
    const auto* metrics = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(opened, FT_SFNT_OS2));
    if (metrics != nullptr && metrics->usWinAscent + metrics->usWinDescent > 0) {
        record->ascent = metrics->usWinAscent / units;
        record->descent = metrics->usWinDescent / units;
    } else {
        record->ascent = opened->ascender / units;
        record->descent = -opened->descender / units;
    }
    return record;
}

// Adds every face that a file or a block of memory holds to a collection's
// families. Called with the font lock held.
void addFaces(CollectionRecord& collection, std::vector<unsigned char> bytes) {
    FT_Library library = freetype();
    if (library == nullptr || bytes.empty()) return;
    FT_Face probe = nullptr;
    if (FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), -1, &probe) != 0) return;
    const FT_Long faceCount = probe->num_faces;
    FT_Done_Face(probe);
    for (FT_Long index = 0; index < faceCount; ++index) {
        // Each face keeps its own bytes, so faces outlive one another freely.
        std::vector<unsigned char> copy = index + 1 < faceCount ? bytes : std::move(bytes);
        FT_Face opened = nullptr;
        if (FT_New_Memory_Face(library, copy.data(), static_cast<FT_Long>(copy.size()), index, &opened) != 0) continue;
        Face face = adoptFace(opened, std::move(copy));
        const std::wstring name = widen(opened->family_name);
        FamilyRecord* family = nullptr;
        for (auto& existing : collection.families)
            if (sameName(existing->name, name)) family = existing.get();
        if (family == nullptr) {
            collection.families.push_back(std::make_unique<FamilyRecord>());
            family = collection.families.back().get();
            family->name = name;
            family->ownedByCollection = true;
        }
        family->faces.push_back(std::move(face));
    }
}

// The installed faces of a family, found through fontconfig by exact family
// name and kept for the process. Called with the font lock held.
const std::vector<Face>& installedFaces(const std::wstring& name) {
    auto known = fontSystem().installed.find(name);
    if (known != fontSystem().installed.end()) return known->second;
    std::vector<Face>& faces = fontSystem().installed[name];
    FT_Library library = freetype();
    if (fontSystem().config == nullptr) fontSystem().config = FcInitLoadConfigAndFonts();
    if (library == nullptr || fontSystem().config == nullptr) return faces;
    std::string narrow;
    for (wchar_t character : name) {
        if (character > 0x7F) return faces;  // family names here are ASCII
        narrow.push_back(static_cast<char>(character));
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(narrow.c_str()));
    FcObjectSet* properties = FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, nullptr);
    FcFontSet* found = FcFontList(fontSystem().config, pattern, properties);
    for (int index = 0; found != nullptr && index < found->nfont; ++index) {
        FcChar8* file = nullptr;
        int faceIndex = 0;
        if (FcPatternGetString(found->fonts[index], FC_FILE, 0, &file) != FcResultMatch) continue;
        FcPatternGetInteger(found->fonts[index], FC_INDEX, 0, &faceIndex);
        FT_Face opened = nullptr;
        if (FT_New_Face(library, reinterpret_cast<const char*>(file), faceIndex, &opened) != 0) continue;
        if (sameName(widen(opened->family_name), name))
            faces.push_back(adoptFace(opened, {}));
        else
            FT_Done_Face(opened);
    }
    if (found != nullptr) FcFontSetDestroy(found);
    FcObjectSetDestroy(properties);
    FcPatternDestroy(pattern);
    return faces;
}

void setColour(cairo_t* context, ARGB colour) {
    cairo_set_source_rgba(context, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                          (colour & 0xFF) / 255.0, (colour >> 24) / 255.0);
}

void addStop(cairo_pattern_t* pattern, double offset, ARGB colour) {
    cairo_pattern_add_color_stop_rgba(pattern, offset, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                                      (colour & 0xFF) / 255.0, (colour >> 24) / 255.0);
}

// Sets the brush as the source of the next fill.
void setBrush(cairo_t* context, const BrushRecord& brush) {
    if (brush.kind == BrushKind::solid) {
        setColour(context, brush.first);
        return;
    }
    cairo_pattern_t* pattern = nullptr;
    if (brush.kind == BrushKind::line) {
        double endX = brush.x + brush.width;
        double endY = brush.y;
        if (brush.mode == LinearGradientModeVertical) {
            endX = brush.x;
            endY = brush.y + brush.height;
        } else if (brush.mode == LinearGradientModeForwardDiagonal) {
            endY = brush.y + brush.height;
        }
        pattern = cairo_pattern_create_linear(brush.x, brush.y, endX, endY);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    } else {
        // From the centre colour at the ellipse's centre to the surround at its edge.
        pattern = cairo_pattern_create_radial(0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
        cairo_matrix_t toUnitCircle;
        cairo_matrix_init_scale(&toUnitCircle, 2.0 / brush.width, 2.0 / brush.height);
        cairo_matrix_translate(&toUnitCircle, -(brush.x + brush.width / 2.0), -(brush.y + brush.height / 2.0));
        cairo_pattern_set_matrix(pattern, &toUnitCircle);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    }
    addStop(pattern, 0.0, brush.first);
    addStop(pattern, 1.0, brush.second);
    cairo_set_source(context, pattern);
    cairo_pattern_destroy(pattern);
}

void addEllipse(cairo_t* context, double x, double y, double width, double height) {
    if (width <= 0.0 || height <= 0.0) return;
    cairo_save(context);
    cairo_translate(context, x + width / 2.0, y + height / 2.0);
    cairo_scale(context, width / 2.0, height / 2.0);
    cairo_new_sub_path(context);
    cairo_arc(context, 0.0, 0.0, 1.0, 0.0, 2.0 * kPi);
    cairo_close_path(context);
    cairo_restore(context);
}

void stroke(cairo_t* context, const PenRecord& pen) {
    setColour(context, pen.colour);
    cairo_set_line_width(context, pen.width);
    cairo_stroke(context);
}

GraphicsRecord* graphicsOf(GpGraphics* graphics) { return reinterpret_cast<GraphicsRecord*>(graphics); }
const BrushRecord* brushOf(const GpBrush* brush) { return reinterpret_cast<const BrushRecord*>(brush); }
const PenRecord* penOf(const GpPen* pen) { return reinterpret_cast<const PenRecord*>(pen); }

template <typename Handle, typename Record>
Handle* handleOf(Record* record) {
    return reinterpret_cast<Handle*>(record);
}

// Makes a record and hands it out as the caller's handle type; false when the
// caller gave nowhere to put it or memory ran out.
template <typename Handle, typename Record>
bool handOut(Handle** out, Record&& record) {
    if (out == nullptr) return false;
    auto* made = new (std::nothrow) std::decay_t<Record>(std::forward<Record>(record));
    *out = made != nullptr ? handleOf<Handle>(made) : nullptr;
    return made != nullptr;
}

Status statusOf(bool valid) { return valid ? Ok : InvalidParameter; }

// One shape, filled with a brush or outlined with a pen: `addShape` makes the path.
template <typename AddShape>
Status fillShape(GpGraphics* graphics, const GpBrush* brush, AddShape addShape) {
    if (graphics == nullptr || brush == nullptr) return InvalidParameter;
    cairo_t* context = graphicsOf(graphics)->context;
    addShape(context);
    setBrush(context, *brushOf(brush));
    cairo_fill(context);
    cairo_set_fill_rule(context, CAIRO_FILL_RULE_WINDING);
    return Ok;
}

template <typename AddShape>
Status strokeShape(GpGraphics* graphics, const GpPen* pen, AddShape addShape) {
    if (graphics == nullptr || pen == nullptr) return InvalidParameter;
    cairo_t* context = graphicsOf(graphics)->context;
    addShape(context);
    stroke(context, *penOf(pen));
    return Ok;
}

// GDI's stock bitmap, which every new memory context starts with.
HGDIOBJ__ stockBitmap;

// Outline steps into cairo path steps, in the glyph's place on the line.
struct OutlinePlacement {
    cairo_t* context;
    double originX;
    double originY;
    double scale;
    double lastX = 0.0;
    double lastY = 0.0;
    double x(const FT_Vector* point) const { return originX + point->x * scale; }
    double y(const FT_Vector* point) const { return originY - point->y * scale; }
};

int moveTo(const FT_Vector* to, void* user) {
    auto* place = static_cast<OutlinePlacement*>(user);
    cairo_close_path(place->context);
    place->lastX = place->x(to);
    place->lastY = place->y(to);
    cairo_move_to(place->context, place->lastX, place->lastY);
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    auto* place = static_cast<OutlinePlacement*>(user);
    place->lastX = place->x(to);
    place->lastY = place->y(to);
    cairo_line_to(place->context, place->lastX, place->lastY);
    return 0;
}

// A quadratic step, raised to the cubic that cairo draws.
int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* place = static_cast<OutlinePlacement*>(user);
    const double controlX = place->x(control);
    const double controlY = place->y(control);
    const double endX = place->x(to);
    const double endY = place->y(to);
    cairo_curve_to(place->context, place->lastX + 2.0 / 3.0 * (controlX - place->lastX),
                   place->lastY + 2.0 / 3.0 * (controlY - place->lastY), endX + 2.0 / 3.0 * (controlX - endX),
                   endY + 2.0 / 3.0 * (controlY - endY), endX, endY);
    place->lastX = endX;
    place->lastY = endY;
    return 0;
}

int cubicTo(const FT_Vector* first, const FT_Vector* second, const FT_Vector* to, void* user) {
    auto* place = static_cast<OutlinePlacement*>(user);
    place->lastX = place->x(to);
    place->lastY = place->y(to);
    cairo_curve_to(place->context, place->x(first), place->y(first), place->x(second), place->y(second),
                   place->lastX, place->lastY);
    return 0;
}

// Glyph outlines in font units, unhinted, as the font draws them at any size.
constexpr FT_Int32 kOutlineLoad = FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP;

double lineWidth(FT_Face face, const WCHAR* text, std::size_t length) {
    double advance = 0.0;
    for (std::size_t index = 0; index < length; ++index) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(text[index]), kOutlineLoad) == 0)
            advance += face->glyph->metrics.horiAdvance;
    }
    return advance;
}

}  // namespace

namespace orbelune::platform {

void releaseDrawingState() {
    std::map<std::wstring, std::vector<Face>> installed;
    {
        std::lock_guard lock(fontLock);
        installed.swap(fontSystem().installed);
    }
    installed.clear();  // each face takes the lock as it goes
    std::lock_guard lock(fontLock);
    if (fontSystem().liveFaces == 0 && fontSystem().library != nullptr) {
        FT_Done_FreeType(fontSystem().library);
        fontSystem().library = nullptr;
    }
    if (fontSystem().config != nullptr) {
        FcConfigDestroy(fontSystem().config);
        fontSystem().config = nullptr;
    }
    if (fontSystem().liveFaces == 0) {
        delete fontSystemSlot();
        fontSystemSlot() = nullptr;
    }
}

}  // namespace orbelune::platform

// GDI32

HDC CreateCompatibleDC(HDC) {
    auto* context = new (std::nothrow) HDC__;
    if (context == nullptr) return nullptr;
    context->memory = true;
    context->selected = &stockBitmap;
    return context;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    auto* bitmap = new (std::nothrow) HGDIOBJ__;
    if (bitmap == nullptr) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    bitmap->surface = surface;
    return bitmap;
}

HGDIOBJ SelectObject(HDC context, HGDIOBJ object) {
    if (context == nullptr || !context->memory || object == nullptr) return nullptr;
    if (object != &stockBitmap) ++object->selections;
    HGDIOBJ previous = std::exchange(context->selected, object);
    if (previous != &stockBitmap && previous != nullptr) --previous->selections;
    return previous;
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD) {
    if (destination == nullptr || source == nullptr || !source->memory || source->selected == nullptr) return FALSE;
    cairo_surface_t* image = source->selected->surface;
    if (image == nullptr) return FALSE;
    cairo_surface_flush(image);
    if (!destination->memory)
        return orbelune::linuxplatform::presentToWindow(destination->window, image, x, y, width, height, sourceX,
                                                        sourceY)
                   ? TRUE
                   : FALSE;
    if (destination->selected == nullptr || destination->selected->surface == nullptr) return FALSE;
    cairo_t* copy = cairo_create(destination->selected->surface);
    cairo_set_operator(copy, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(copy, image, x - sourceX, y - sourceY);
    cairo_rectangle(copy, x, y, width, height);
    cairo_fill(copy);
    cairo_destroy(copy);
    return TRUE;
}

// A bitmap still selected into a context cannot be deleted, as in GDI.
BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr || object == &stockBitmap || object->selections > 0) return FALSE;
    cairo_surface_destroy(object->surface);
    delete object;
    return TRUE;
}

BOOL DeleteDC(HDC context) {
    if (context == nullptr || !context->memory) return FALSE;
    if (context->selected != nullptr && context->selected != &stockBitmap) --context->selected->selections;
    delete context;
    return TRUE;
}

// A pixel of the bitmap a memory context holds, as 0x00BBGGRR; CLR_INVALID
// outside it, and for a window's context, whose pixels live on the server.
COLORREF GetPixel(HDC context, int x, int y) {
    if (context == nullptr || !context->memory || context->selected == nullptr) return CLR_INVALID;
    cairo_surface_t* image = context->selected->surface;
    if (image == nullptr || x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) ||
        y >= cairo_image_surface_get_height(image))
        return CLR_INVALID;
    cairo_surface_flush(image);
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(image);
    const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
    return (pixel >> 16 & 0xFF) | (pixel & 0xFF00) | (pixel & 0xFF) << 16;
}

// GDI+

namespace Gdiplus {

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput*, GdiplusStartupOutput*) {
    if (token == nullptr) return InvalidParameter;
    *token = 1;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}

namespace DllExports {

GpStatus GdipCreateFromHDC(HDC context, GpGraphics** graphics) {
    if (graphics == nullptr || context == nullptr || !context->memory || context->selected == nullptr ||
        context->selected->surface == nullptr)
        return InvalidParameter;
    cairo_t* drawing = cairo_create(context->selected->surface);
    if (cairo_status(drawing) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(drawing);
        return OutOfMemory;
    }
    cairo_translate(drawing, kPixelCentre, kPixelCentre);
    if (!handOut(graphics, GraphicsRecord{drawing})) {
        cairo_destroy(drawing);
        return OutOfMemory;
    }
    return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
    if (graphics == nullptr) return InvalidParameter;
    GraphicsRecord* record = graphicsOf(graphics);
    cairo_surface_flush(cairo_get_target(record->context));
    cairo_destroy(record->context);
    delete record;
    return Ok;
}

GpStatus GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode) {
    if (graphics == nullptr) return InvalidParameter;
    cairo_set_antialias(graphicsOf(graphics)->context,
                        mode == SmoothingModeAntiAlias ? CAIRO_ANTIALIAS_GOOD : CAIRO_ANTIALIAS_NONE);
    return Ok;
}

// Text is always drawn antialiased from outlines here.
GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint) { return statusOf(graphics != nullptr); }

GpStatus GdipCreateSolidFill(ARGB colour, GpSolidFill** brush) {
    return handOut(brush, BrushRecord{BrushKind::solid, colour}) ? Ok : InvalidParameter;
}

GpStatus GdipCreateLineBrushFromRectI(const GpRect* rect, ARGB first, ARGB second, LinearGradientMode mode,
                                      GpWrapMode, GpLineGradient** brush) {
    if (rect == nullptr || rect->Width <= 0 || rect->Height <= 0) return InvalidParameter;
    BrushRecord record{BrushKind::line, first, second, double(rect->X), double(rect->Y), double(rect->Width),
                       double(rect->Height), mode};
    return handOut(brush, record) ? Ok : InvalidParameter;
}

GpStatus GdipCreatePathGradientFromPath(const GpPath* path, GpPathGradient** brush) {
    const auto* record = reinterpret_cast<const PathRecord*>(path);
    if (record == nullptr || record->figures.empty()) return InvalidParameter;
    const Ellipse& figure = record->figures.front();
    // GDI+'s defaults: a white centre and a white surround.
    BrushRecord gradient{BrushKind::path, 0xFFFFFFFF, 0xFFFFFFFF, figure.x, figure.y, figure.width, figure.height};
    return handOut(brush, gradient) ? Ok : InvalidParameter;
}

GpStatus GdipSetPathGradientCenterColor(GpPathGradient* brush, ARGB colour) {
    auto* record = reinterpret_cast<BrushRecord*>(brush);
    if (record == nullptr || record->kind != BrushKind::path) return InvalidParameter;
    record->first = colour;
    return Ok;
}

GpStatus GdipSetPathGradientSurroundColorsWithCount(GpPathGradient* brush, const ARGB* colours, INT* count) {
    auto* record = reinterpret_cast<BrushRecord*>(brush);
    if (record == nullptr || record->kind != BrushKind::path || colours == nullptr || count == nullptr || *count < 1)
        return InvalidParameter;
    record->second = colours[0];  // an ellipse's outline is one point to GDI+
    *count = 1;
    return Ok;
}

GpStatus GdipDeleteBrush(GpBrush* brush) {
    if (brush == nullptr) return InvalidParameter;
    delete reinterpret_cast<BrushRecord*>(brush);
    return Ok;
}

GpStatus GdipCreatePen1(ARGB colour, REAL width, GpUnit, GpPen** pen) {
    return handOut(pen, PenRecord{colour, width}) ? Ok : InvalidParameter;
}

GpStatus GdipDeletePen(GpPen* pen) {
    if (pen == nullptr) return InvalidParameter;
    delete reinterpret_cast<PenRecord*>(pen);
    return Ok;
}

GpStatus GdipCreatePath(GpFillMode, GpPath** path) { return handOut(path, PathRecord{}) ? Ok : InvalidParameter; }

GpStatus GdipAddPathEllipseI(GpPath* path, INT x, INT y, INT width, INT height) {
    auto* record = reinterpret_cast<PathRecord*>(path);
    if (record == nullptr) return InvalidParameter;
    record->figures.push_back({double(x), double(y), double(width), double(height)});
    return Ok;
}

GpStatus GdipDeletePath(GpPath* path) {
    if (path == nullptr) return InvalidParameter;
    delete reinterpret_cast<PathRecord*>(path);
    return Ok;
}

GpStatus GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height) {
    return fillShape(graphics, brush, [&](cairo_t* context) { cairo_rectangle(context, x, y, width, height); });
}

GpStatus GdipFillEllipseI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height) {
    return fillShape(graphics, brush, [&](cairo_t* context) { addEllipse(context, x, y, width, height); });
}

GpStatus GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path) {
    const auto* record = reinterpret_cast<const PathRecord*>(path);
    if (record == nullptr) return InvalidParameter;
    return fillShape(graphics, brush, [&](cairo_t* context) {
        for (const Ellipse& figure : record->figures) addEllipse(context, figure.x, figure.y, figure.width, figure.height);
        cairo_set_fill_rule(context, CAIRO_FILL_RULE_EVEN_ODD);  // the path's alternate fill mode
    });
}

GpStatus GdipDrawRectangleI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height) {
    return strokeShape(graphics, pen, [&](cairo_t* context) { cairo_rectangle(context, x, y, width, height); });
}

GpStatus GdipDrawEllipse(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height) {
    return strokeShape(graphics, pen, [&](cairo_t* context) { addEllipse(context, x, y, width, height); });
}

GpStatus GdipDrawEllipseI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height) {
    return GdipDrawEllipse(graphics, pen, REAL(x), REAL(y), REAL(width), REAL(height));
}

// Angles in degrees, clockwise on the screen from the x axis, as cairo's
// positive angles run when y grows downwards.
GpStatus GdipDrawArcI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height, REAL startAngle,
                      REAL sweepAngle) {
    if (width <= 0 || height <= 0) return InvalidParameter;
    return strokeShape(graphics, pen, [&](cairo_t* context) {
        const double start = startAngle * kPi / 180.0;
        const double end = (static_cast<double>(startAngle) + sweepAngle) * kPi / 180.0;
        cairo_save(context);
        cairo_translate(context, x + width / 2.0, y + height / 2.0);
        cairo_scale(context, width / 2.0, height / 2.0);
        cairo_new_path(context);
        if (sweepAngle >= 0.0f)
            cairo_arc(context, 0.0, 0.0, 1.0, start, end);
        else
            cairo_arc_negative(context, 0.0, 0.0, 1.0, start, end);
        cairo_restore(context);
    });
}

GpStatus GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
    return strokeShape(graphics, pen, [&](cairo_t* context) {
        cairo_move_to(context, x1, y1);
        cairo_line_to(context, x2, y2);
    });
}

// Whole pixels of the device, whatever the drawing offset.
GpStatus GdipSetClipRectI(GpGraphics* graphics, INT x, INT y, INT width, INT height, CombineMode mode) {
    if (graphics == nullptr) return InvalidParameter;
    cairo_t* context = graphicsOf(graphics)->context;
    cairo_matrix_t drawing;
    cairo_get_matrix(context, &drawing);
    cairo_identity_matrix(context);
    if (mode == CombineModeReplace) cairo_reset_clip(context);
    cairo_rectangle(context, x, y, width > 0 ? width : 0, height > 0 ? height : 0);
    cairo_clip(context);
    cairo_set_matrix(context, &drawing);
    return Ok;
}

// A scale of the coordinates drawn from now on: prepended, it applies to them
// before what is already set (the pixel-centre offset), as GDI+ composes it.
GpStatus GdipScaleWorldTransform(GpGraphics* graphics, REAL scaleX, REAL scaleY, MatrixOrder order) {
    if (graphics == nullptr || !(scaleX != 0.0f) || !(scaleY != 0.0f)) return InvalidParameter;
    cairo_t* context = graphicsOf(graphics)->context;
    if (order == MatrixOrderPrepend) {
        cairo_scale(context, scaleX, scaleY);
        return Ok;
    }
    cairo_matrix_t drawing;
    cairo_get_matrix(context, &drawing);
    cairo_matrix_t scaling;
    cairo_matrix_init_scale(&scaling, scaleX, scaleY);
    cairo_matrix_multiply(&drawing, &drawing, &scaling);
    cairo_set_matrix(context, &drawing);
    return Ok;
}

GpStatus GdipNewPrivateFontCollection(GpFontCollection** collection) {
    return handOut(collection, CollectionRecord{}) ? Ok : OutOfMemory;
}

GpStatus GdipDeletePrivateFontCollection(GpFontCollection** collection) {
    if (collection == nullptr || *collection == nullptr) return InvalidParameter;
    delete reinterpret_cast<CollectionRecord*>(*collection);
    *collection = nullptr;
    return Ok;
}

GpStatus GdipPrivateAddMemoryFont(GpFontCollection* collection, const void* memory, INT length) {
    auto* record = reinterpret_cast<CollectionRecord*>(collection);
    if (record == nullptr || memory == nullptr || length <= 0) return InvalidParameter;
    const auto* bytes = static_cast<const unsigned char*>(memory);
    const std::size_t before = record->families.size();
    std::size_t facesBefore = 0;
    for (const auto& family : record->families) facesBefore += family->faces.size();
    {
        std::lock_guard lock(fontLock);
        addFaces(*record, std::vector<unsigned char>(bytes, bytes + length));
    }
    std::size_t facesAfter = 0;
    for (const auto& family : record->families) facesAfter += family->faces.size();
    return facesAfter > facesBefore || record->families.size() > before ? Ok : FileNotFound;
}

GpStatus GdipGetFontCollectionFamilyCount(GpFontCollection* collection, INT* count) {
    const auto* record = reinterpret_cast<const CollectionRecord*>(collection);
    if (record == nullptr || count == nullptr) return InvalidParameter;
    *count = static_cast<INT>(record->families.size());
    return Ok;
}

// As in GDI+, the families listed belong to the collection.
GpStatus GdipGetFontCollectionFamilyList(GpFontCollection* collection, INT wanted, GpFontFamily* families[],
                                         INT* found) {
    const auto* record = reinterpret_cast<const CollectionRecord*>(collection);
    if (record == nullptr || families == nullptr || found == nullptr) return InvalidParameter;
    *found = 0;
    for (const auto& family : record->families) {
        if (*found >= wanted) break;
        families[(*found)++] = reinterpret_cast<GpFontFamily*>(family.get());
    }
    return Ok;
}

GpStatus GdipGetFamilyName(const GpFontFamily* family, WCHAR name[LF_FACESIZE], LANGID) {
    const auto* record = reinterpret_cast<const FamilyRecord*>(family);
    if (record == nullptr || name == nullptr) return InvalidParameter;
    const std::wstring copied = record->name.substr(0, LF_FACESIZE - 1);
    copied.copy(name, copied.size());
    name[copied.size()] = L'\0';
    return Ok;
}

GpStatus GdipCloneFontFamily(GpFontFamily* family, GpFontFamily** clone) {
    const auto* record = reinterpret_cast<const FamilyRecord*>(family);
    if (record == nullptr) return InvalidParameter;
    FamilyRecord copy{record->name, record->faces, false};
    return handOut(clone, std::move(copy)) ? Ok : OutOfMemory;
}

GpStatus GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection* collection, GpFontFamily** family) {
    if (name == nullptr || family == nullptr) return InvalidParameter;
    const std::wstring wanted = name;
    if (collection != nullptr) {
        for (const auto& candidate : reinterpret_cast<const CollectionRecord*>(collection)->families)
            if (sameName(candidate->name, wanted))
                return GdipCloneFontFamily(reinterpret_cast<GpFontFamily*>(candidate.get()), family);
        return FontFamilyNotFound;
    }
    std::vector<Face> faces;
    {
        std::lock_guard lock(fontLock);
        faces = installedFaces(wanted);
    }
    if (faces.empty()) return FontFamilyNotFound;
    return handOut(family, FamilyRecord{wanted, std::move(faces), false}) ? Ok : OutOfMemory;
}

GpStatus GdipDeleteFontFamily(GpFontFamily* family) {
    auto* record = reinterpret_cast<FamilyRecord*>(family);
    if (record == nullptr || record->ownedByCollection) return InvalidParameter;
    delete record;
    return Ok;
}

// The face of the style asked for; GDI+ refuses a style the family lacks.
GpStatus GdipCreateFont(const GpFontFamily* family, REAL emSize, INT style, Unit, GpFont** font) {
    const auto* record = reinterpret_cast<const FamilyRecord*>(family);
    if (record == nullptr || font == nullptr || !(emSize > 0.0f)) return InvalidParameter;
    const bool bold = (style & FontStyleBold) != 0;
    for (const Face& face : record->faces)
        if (face->bold == bold) return handOut(font, FontRecord{face, emSize}) ? Ok : OutOfMemory;
    return FontStyleNotFound;
}

GpStatus GdipDeleteFont(GpFont* font) {
    if (font == nullptr) return InvalidParameter;
    delete reinterpret_cast<FontRecord*>(font);
    return Ok;
}

GpStatus GdipCreateStringFormat(INT, LANGID, GpStringFormat** format) {
    return handOut(format, FormatRecord{}) ? Ok : OutOfMemory;
}

GpStatus GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
    if (format == nullptr) return InvalidParameter;
    reinterpret_cast<FormatRecord*>(format)->align = align;
    return Ok;
}

GpStatus GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align) {
    if (format == nullptr) return InvalidParameter;
    reinterpret_cast<FormatRecord*>(format)->lineAlign = align;
    return Ok;
}

GpStatus GdipDeleteStringFormat(GpStringFormat* format) {
    if (format == nullptr) return InvalidParameter;
    delete reinterpret_cast<FormatRecord*>(format);
    return Ok;
}

// One line of text at the layout rectangle's corner, or centred on it: the
// editor's texts are single lines in rectangles of no size.
GpStatus GdipDrawString(GpGraphics* graphics, const WCHAR* text, INT length, const GpFont* font,
                        const RectF* layout, const GpStringFormat* format, const GpBrush* brush) {
    const auto* fontRecord = reinterpret_cast<const FontRecord*>(font);
    if (graphics == nullptr || text == nullptr || fontRecord == nullptr || layout == nullptr || brush == nullptr)
        return InvalidParameter;
    const std::size_t count = length < 0 ? std::wcslen(text) : static_cast<std::size_t>(length);
    const FormatRecord defaults;
    const FormatRecord& placement = format != nullptr ? *reinterpret_cast<const FormatRecord*>(format) : defaults;
    cairo_t* context = graphicsOf(graphics)->context;

    std::lock_guard lock(fontLock);
    FT_Face face = fontRecord->face->face;
    const double emSize = fontRecord->emSize;
    const double scale = emSize / (face->units_per_EM > 0 ? face->units_per_EM : 1000.0);
    const double width = lineWidth(face, text, count) * scale;
    const double padding = emSize * kLinePaddingEms;
    double x = layout->X + padding;
    if (placement.align == StringAlignmentCenter) x = layout->X + (layout->Width - width) / 2.0;
    const double ascent = fontRecord->face->ascent * emSize;
    const double lineHeight = (fontRecord->face->ascent + fontRecord->face->descent) * emSize;
    double top = layout->Y;
    if (placement.lineAlign == StringAlignmentCenter) top = layout->Y + (layout->Height - lineHeight) / 2.0;

    const FT_Outline_Funcs steps{moveTo, lineTo, conicTo, cubicTo, 0, 0};
    OutlinePlacement place{context, x, top + ascent, scale};
    cairo_new_path(context);
    for (std::size_t index = 0; index < count; ++index) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(text[index]), kOutlineLoad) != 0) continue;
        FT_GlyphSlot glyph = face->glyph;
        if (glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Outline_Decompose(&glyph->outline, &steps, &place);
            cairo_close_path(context);
        }
        place.originX += glyph->metrics.horiAdvance * scale;
    }
    setBrush(context, *brushOf(brush));
    cairo_fill(context);
    return Ok;
}

}  // namespace DllExports
}  // namespace Gdiplus
