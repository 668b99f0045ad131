#include "loom/tool/plot.hpp"

#include <algorithm>
#include <cmath>

namespace loom::tool {

namespace {

constexpr double MARGIN = 40.0;
constexpr double GAP = 48.0;           // between panels of a row
constexpr double ROW_GAP = 28.0;       // between rows
constexpr double TITLE_SPACE = 26.0;   // panel title
constexpr double LEGEND_SPACE = 22.0;
constexpr double LEFT_AXIS = 58.0;     // y tick labels and the y label
constexpr double BOTTOM_AXIS = 44.0;   // x tick labels and the x label
constexpr double CAPTION_LINE = 17.0;

constexpr std::string_view BACKGROUND = "#fbfaf7";
constexpr std::string_view PLOT_BACKGROUND = "#ffffff";
constexpr std::string_view INK = "#1f2328";
constexpr std::string_view MUTED = "#5b636b";
constexpr std::string_view GRID = "#e6e3dc";
constexpr std::string_view FRAME = "#b9b4aa";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

// Maps axis units to pixels along [from, to].
struct Scale {
    const Axis& axis;
    double from;
    double to;

    double operator()(double v) const {
        double lo = axis.min, hi = axis.max;
        if (axis.log) {
            v = std::log10(std::max(v, 1e-300));
            lo = std::log10(lo);
            hi = std::log10(hi);
        }
        return from + (v - lo) / (hi - lo) * (to - from);
    }
};

// Roughly how wide a text is at `size` pixels in a sans-serif face.
double text_width_px(std::string_view text, double size) { return static_cast<double>(text.size()) * size * 0.56; }

void draw_panel(Svg& svg, const Panel& p, double x, double y, double w, double h) {
    svg.text(x, y + 17, p.title, Font{.size = 16, .colour = INK, .weight = "bold"});
    double top = y + TITLE_SPACE;

    // Legend: a short line of each colour and its label, in one row.
    const bool has_legend = std::any_of(p.series.begin(), p.series.end(), [](const Series& s) { return !s.label.empty(); });
    if (has_legend) {
        double lx = x + LEFT_AXIS;
        for (const Series& s : p.series) {
            if (s.label.empty()) continue;
            if (s.area) {
                svg.rect(lx, top + 3, 20, 10, s.colour);
            } else {
                svg.line(lx, top + 8, lx + 20, top + 8, Stroke{.colour = s.colour, .width = std::max(s.width, 2.5), .dash = s.dash});
            }
            svg.text(lx + 26, top + 12.5, s.label, Font{.size = 12.5, .colour = MUTED});
            lx += 26 + text_width_px(s.label, 12.5) + 22;
        }
        top += LEGEND_SPACE;
    }

    const std::vector<std::string> caption = lines_of(p.caption);
    const double caption_space = caption.empty() ? 0.0 : 8.0 + CAPTION_LINE * static_cast<double>(caption.size());
    const double px = x + LEFT_AXIS, pw = w - LEFT_AXIS;
    const double py = top + 4, ph = y + h - caption_space - BOTTOM_AXIS - py;
    const Scale sx{p.x, px, px + pw};
    const Scale sy{p.y, py + ph, py};

    svg.rect(px, py, pw, ph, PLOT_BACKGROUND);
    const Stroke grid{.colour = GRID, .width = 1};
    for (std::size_t i = 0; i < p.x.ticks.size(); ++i) {
        const double gx = sx(p.x.ticks[i]);
        svg.line(gx, py, gx, py + ph, grid);
        if (i < p.x.tick_labels.size())
            svg.text(gx, py + ph + 16, p.x.tick_labels[i], Font{.size = 11.5, .colour = MUTED, .anchor = "middle"});
    }
    for (std::size_t i = 0; i < p.y.ticks.size(); ++i) {
        const double gy = sy(p.y.ticks[i]);
        svg.line(px, gy, px + pw, gy, grid);
        if (i < p.y.tick_labels.size())
            svg.text(px - 7, gy + 4, p.y.tick_labels[i], Font{.size = 11.5, .colour = MUTED, .anchor = "end"});
    }
    svg.text(px + pw / 2, py + ph + 36, p.x.label, Font{.size = 12.5, .colour = INK, .anchor = "middle"});
    svg.vertical_text(x + 12, py + ph / 2, p.y.label, Font{.size = 12.5, .colour = INK, .anchor = "middle"});

    svg.clip_begin(px, py, pw, ph);
    for (const Series& s : p.series) {
        std::vector<Point> pts;
        pts.reserve(s.points.size() + 2);
        for (const auto& [vx, vy] : s.points) pts.emplace_back(sx(vx), sy(vy));
        if (s.area && !pts.empty()) {
            pts.emplace_back(pts.back().first, py + ph);
            pts.emplace_back(pts.front().first, py + ph);
            svg.polygon(pts, s.colour, s.opacity);
        } else {
            svg.polyline(pts, Stroke{.colour = s.colour, .width = s.width, .dash = s.dash, .opacity = s.opacity});
        }
    }
    svg.clip_end();
    const Stroke frame{.colour = FRAME, .width = 1};
    svg.rect(px, py, pw, ph, "none", &frame);

    double cy = py + ph + BOTTOM_AXIS + 8 + 12;
    for (const std::string& line : caption) {
        svg.text(px, cy, line, Font{.size = 13, .colour = MUTED});
        cy += CAPTION_LINE;
    }
}

} // namespace

std::string draw_figure(const Figure& f) {
    const std::vector<std::string> subtitle = lines_of(f.subtitle);
    double height = MARGIN + 34 + 20.0 * static_cast<double>(subtitle.size()) + 18;
    const double header = height;
    for (std::size_t r = 0; r < f.rows.size(); ++r) height += (r < f.row_heights.size() ? f.row_heights[r] : 300.0) + ROW_GAP;
    height += MARGIN - ROW_GAP;

    Svg svg(f.width, height, BACKGROUND);
    svg.text(MARGIN, MARGIN + 22, f.title, Font{.size = 28, .colour = INK, .weight = "bold"});
    double sy = MARGIN + 34 + 16;
    for (const std::string& line : subtitle) {
        svg.text(MARGIN, sy, line, Font{.size = 14.5, .colour = MUTED});
        sy += 20;
    }

    double y = header;
    for (std::size_t r = 0; r < f.rows.size(); ++r) {
        const auto& row = f.rows[r];
        const double h = r < f.row_heights.size() ? f.row_heights[r] : 300.0;
        const double inner = f.width - 2 * MARGIN;
        const double w = row.empty() ? inner : (inner - GAP * static_cast<double>(row.size() - 1)) / static_cast<double>(row.size());
        for (std::size_t i = 0; i < row.size(); ++i) draw_panel(svg, row[i], MARGIN + static_cast<double>(i) * (w + GAP), y, w, h);
        y += h + ROW_GAP;
    }
    return svg.str();
}

} // namespace loom::tool
