// Where two scenes differ, element by element, in the rasterizer's own logical pixels: twips become
// pixels by floor division by 15, a box covers from Left up to, not including, Left + Width (at
// least one pixel), and a line stays within the box of its two end pixels.
#include "picture/scenediff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <type_traits>

#include "picture/pixelbox.h"

namespace farvane {

namespace {

using Box = PixelBox;

Box lineBox(const Line& line)
{
    const int x1 = toPixel(line.X1);
    const int y1 = toPixel(line.Y1);
    const int x2 = toPixel(line.X2);
    const int y2 = toPixel(line.Y2);
    return Box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
}

PixelRect inClient(const Box& box)
{
    const Box cut{std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, ClientWidth),
                  std::min(box.bottom, ClientHeight)};
    if (cut.empty())
        return PixelRect{};
    return PixelRect{cut.left, cut.top, cut.right - cut.left, cut.bottom - cut.top};
}

bool isEmpty(const PixelRect& rect) { return rect.width <= 0 || rect.height <= 0; }

// Whether two elements draw the same pixels: the same pixel boxes and the same look. What lies
// below a pixel does not move them: a change there is found at that element.
bool sameLook(const Shape& a, const Shape& b)
{
    if (!a.Visible || !b.Visible)
        return a.Visible == b.Visible;
    return a.BorderColor == b.BorderColor && std::max(1, a.BorderWidth) == std::max(1, b.BorderWidth) &&
           pixelBox(a.Left, a.Top, a.Width, a.Height) == pixelBox(b.Left, b.Top, b.Width, b.Height);
}

bool sameLook(const Line& a, const Line& b)
{
    if (!a.Visible || !b.Visible)
        return a.Visible == b.Visible;
    return a.BorderColor == b.BorderColor && toPixel(a.X1) == toPixel(b.X1) && toPixel(a.Y1) == toPixel(b.Y1) &&
           toPixel(a.X2) == toPixel(b.X2) && toPixel(a.Y2) == toPixel(b.Y2);
}

bool sameLook(const Label& a, const Label& b)
{
    return a.ForeColor == b.ForeColor && a.BackColor == b.BackColor && a.Opaque == b.Opaque && a.Framed == b.Framed &&
           a.Align == b.Align &&
           pixelBox(a.Left, a.Top, a.Width, a.Height) == pixelBox(b.Left, b.Top, b.Width, b.Height) &&
           a.Caption == b.Caption;
}

// One drawn element of a scene; the two scenes' lists pair up, as their paint order is the same.
struct ElementRef {
    const Shape* shape = nullptr;
    const Line* line = nullptr;
    const Label* label = nullptr;
};

// More than the scene holds (65 today); a scene that outgrew it would find no change past it.
constexpr std::size_t MaxElements = 96;

std::size_t elementsOf(const Scene& scene, std::array<ElementRef, MaxElements>& refs)
{
    std::size_t count = 0;
    scene.forEachInPaintOrder([&](const auto& element) {
        using Element = std::decay_t<decltype(element)>;
        if (count == refs.size())
            return;
        ElementRef& ref = refs[count++];
        ref = ElementRef{};
        if constexpr (std::is_same_v<Element, Shape>)
            ref.shape = &element;
        else if constexpr (std::is_same_v<Element, Line>)
            ref.line = &element;
        else
            ref.label = &element;
    });
    return count;
}

void add(std::vector<PixelRect>& rects, const PixelRect& rect)
{
    if (!isEmpty(rect))
        rects.push_back(rect);
}

long long areaOf(const PixelRect& rect) { return static_cast<long long>(rect.width) * rect.height; }

PixelRect united(const PixelRect& a, const PixelRect& b)
{
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    return PixelRect{left, top, std::max(a.x + a.width, b.x + b.width) - left,
                     std::max(a.y + a.height, b.y + b.height) - top};
}

// Every rectangle costs a pass of its own over the scene, a copy to the screen and a request to the
// display server: two are drawn as one when that adds no more than this many pixels to draw.
constexpr long long MergeSlack = 2048;

// Takes two rectangles together while that draws little more, until no pair qualifies.
void mergeNeighbours(std::vector<PixelRect>& rects)
{
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < rects.size(); ++i) {
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                const PixelRect both = united(rects[i], rects[j]);
                if (areaOf(both) > areaOf(rects[i]) + areaOf(rects[j]) + MergeSlack)
                    continue;
                rects[i] = both;
                rects[j] = rects.back();
                rects.pop_back();
                merged = true;
                --j;
            }
        }
    }
}

template <typename Element>
void compare(const Element& before, const Element& after, std::vector<PixelRect>& rects)
{
    if (sameLook(before, after))
        return;
    add(rects, footprint(before));
    add(rects, footprint(after));
}

// A shape draws only its outline, inside its box: the four sides of a large one, not the inside,
// whose pixels belong to what lies under or over it.
void addOutline(std::vector<PixelRect>& rects, const Shape& shape)
{
    if (!shape.Visible)
        return;
    const Box box = pixelBox(shape.Left, shape.Top, shape.Width, shape.Height);
    const int thickness = std::max(1, shape.BorderWidth);
    const long long width = static_cast<long long>(box.right) - box.left;
    const long long height = static_cast<long long>(box.bottom) - box.top;
    if (width <= 4 * thickness || height <= 4 * thickness || width * height <= MergeSlack) {
        add(rects, inClient(box));
        return;
    }
    for (const Box& side : {Box{box.left, box.top, box.right, box.top + thickness},
                            Box{box.left, box.bottom - thickness, box.right, box.bottom},
                            Box{box.left, box.top + thickness, box.left + thickness, box.bottom - thickness},
                            Box{box.right - thickness, box.top + thickness, box.right, box.bottom - thickness}})
        add(rects, inClient(side));
}

void compare(const Shape& before, const Shape& after, std::vector<PixelRect>& rects)
{
    if (sameLook(before, after))
        return;
    addOutline(rects, before);
    addOutline(rects, after);
}

} // namespace

PixelRect footprint(const Shape& shape)
{
    return shape.Visible ? inClient(pixelBox(shape.Left, shape.Top, shape.Width, shape.Height)) : PixelRect{};
}

PixelRect footprint(const Line& line) { return line.Visible ? inClient(lineBox(line)) : PixelRect{}; }

// The fill, the frame and the text (clipped to the box inside the frame) all stay inside the box.
PixelRect footprint(const Label& label) { return inClient(pixelBox(label.Left, label.Top, label.Width, label.Height)); }

void changedRects(const Scene& drawn, const Scene& now, std::vector<PixelRect>& rects)
{
    rects.clear();
    std::array<ElementRef, MaxElements> before;
    std::array<ElementRef, MaxElements> after;
    const std::size_t count = std::min(elementsOf(drawn, before), elementsOf(now, after));
    for (std::size_t i = 0; i < count; ++i) {
        if (before[i].shape)
            compare(*before[i].shape, *after[i].shape, rects);
        else if (before[i].line)
            compare(*before[i].line, *after[i].line, rects);
        else
            compare(*before[i].label, *after[i].label, rects);
    }
    mergeNeighbours(rects);
}

const std::vector<PixelRect>& SceneChanges::since(const Scene& now)
{
    if (known) {
        changedRects(last, now, rects);
    } else {
        rects.assign(1, PixelRect{0, 0, ClientWidth, ClientHeight});
        known = true;
    }
    last = now;
    return rects;
}

} // namespace farvane
