// The Ping control's face: nothing at run time; at design time a raised edge, a black
// rectangle and the 16 x 15 toolbox bitmap; its default extent of 28 x 28 pixels.
#include "ping/ping.h"

namespace ping {

using namespace automation;

namespace {

constexpr int kDefaultExtentPixels = 28;
// This library does no windowing, so the screen is taken at the logical 96 dots per inch.
constexpr int kScreenDpi = 96;
constexpr int kHimetricPerInch = 2540;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kFace = 0xC0C0C0;
constexpr uint32_t kLight = 0xDFDFDF;
constexpr uint32_t kHighlight = 0xFFFFFF;
constexpr uint32_t kShadow = 0x808080;
constexpr uint32_t kDarkShadow = 0x404040;

// The toolbox bitmap: a dish sending a ping. '#' black, 'o' dark blue, '.' face colour.
constexpr const char* kBitmap[15] = {
    "................", "..........oo....", "........oo..o...", "..........o..o..",
    "...#.......o..o.", "..#.#......o..o.", ".#...#.....o..o.", "#.....#...o..o..",
    ".#...#...oo.o...", "..#.#...oo.o....", "...#......oo....", "...#............",
    "..###...........", ".#####..........", "################",
};

int pixelsToHimetric(int pixels) {
    return (pixels * kHimetricPerInch + kScreenDpi / 2) / kScreenDpi;
}

void hline(Canvas& c, int x0, int x1, int y, uint32_t rgb) {
    for (int x = x0; x <= x1; ++x)
        c.set(x, y, rgb);
}

void vline(Canvas& c, int x, int y0, int y1, uint32_t rgb) {
    for (int y = y0; y <= y1; ++y)
        c.set(x, y, rgb);
}

// An edge of two bevels: light upper-left and dark lower-right, outer then inner.
void raisedEdge(Canvas& c, const Rect& r) {
    const int right = r.right - 1, bottom = r.bottom - 1;
    hline(c, r.left, right, r.top, kLight);
    vline(c, r.left, r.top, bottom, kLight);
    hline(c, r.left, right, bottom, kDarkShadow);
    vline(c, right, r.top, bottom, kDarkShadow);
    hline(c, r.left + 1, right - 1, r.top + 1, kHighlight);
    vline(c, r.left + 1, r.top + 1, bottom - 1, kHighlight);
    hline(c, r.left + 1, right - 1, bottom - 1, kShadow);
    vline(c, right - 1, r.top + 1, bottom - 1, kShadow);
}

} // namespace

HResult Ping::getExtent(int32_t* width, int32_t* height) {
    if (!width || !height) return E_POINTER;
    *width = *height = pixelsToHimetric(kDefaultExtentPixels);
    return S_OK;
}

HResult Ping::draw(Canvas& canvas, const Rect& r) {
    if (userMode()) return S_OK;
    if (r.right - r.left < 4 || r.bottom - r.top < 4) return S_OK;
    for (int y = r.top + 2; y < r.bottom - 2; ++y)
        hline(canvas, r.left + 2, r.right - 3, y, kFace);
    raisedEdge(canvas, r);
    const Rect inner{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    hline(canvas, inner.left, inner.right - 1, inner.top, kBlack);
    hline(canvas, inner.left, inner.right - 1, inner.bottom - 1, kBlack);
    vline(canvas, inner.left, inner.top, inner.bottom - 1, kBlack);
    vline(canvas, inner.right - 1, inner.top, inner.bottom - 1, kBlack);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x) {
            const char pixel = kBitmap[y][x];
            if (pixel == '.') continue;
            canvas.set(r.left + 6 + x, r.top + 7 + y, pixel == '#' ? kBlack : 0x000080);
        }
    return S_OK;
}

} // namespace ping
