#pragma once
// A small SVG writer: shapes and text appended to one document, coordinates in pixels from
// the top left, numbers written with two decimals at most. Only what the demo's picture
// draws; not a general graphics library.

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace loom::tool {

// The look of a line or an outline.
struct Stroke {
    std::string_view colour = "#000000";
    double width = 1.0;
    std::string_view dash = {}; // "6 4" for a dashed line; empty for a solid one
    double opacity = 1.0;
};

// Text placement and look.
struct Font {
    double size = 12.0;
    std::string_view colour = "#222222";
    std::string_view anchor = "start"; // "start", "middle" or "end"
    std::string_view weight = "normal";
    bool italic = false;
};

using Point = std::pair<double, double>;

class Svg {
public:
    // A document of `width` × `height` pixels on a `background` colour.
    Svg(double width, double height, std::string_view background);

    void rect(double x, double y, double w, double h, std::string_view fill, const Stroke* outline = nullptr,
              double radius = 0.0);
    void line(double x1, double y1, double x2, double y2, const Stroke& stroke);
    void polyline(std::span<const Point> points, const Stroke& stroke);
    // A closed shape filled with `fill` at `opacity`, without outline.
    void polygon(std::span<const Point> points, std::string_view fill, double opacity);
    void text(double x, double y, std::string_view content, const Font& font);
    // Text turned 90 degrees anticlockwise about its anchor point (for a vertical axis).
    void vertical_text(double x, double y, std::string_view content, const Font& font);

    // Everything drawn after `clip_begin` and before `clip_end` is cut to the rectangle.
    void clip_begin(double x, double y, double w, double h);
    void clip_end();

    // The whole document.
    std::string str() const;

private:
    std::string body;
    double width = 0.0;
    double height = 0.0;
    int clips = 0;
};

// `text` with &, <, >, " and ' written as XML entities.
std::string escape_xml(std::string_view text);

} // namespace loom::tool
