#include "loom/tool/svg.hpp"

#include <cmath>
#include <cstdio>

namespace loom::tool {

namespace {

// Two decimals at most, no trailing zeros: "12", "12.5", "-0.25".
std::string num(double v) {
    if (!std::isfinite(v)) v = 0.0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    std::string s = buffer;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string stroke_attributes(const Stroke& s) {
    std::string out = " stroke=\"" + std::string(s.colour) + "\" stroke-width=\"" + num(s.width) + "\"";
    if (!s.dash.empty()) out += " stroke-dasharray=\"" + std::string(s.dash) + "\"";
    if (s.opacity < 1.0) out += " stroke-opacity=\"" + num(s.opacity) + "\"";
    return out;
}

std::string font_attributes(const Font& f) {
    std::string out = " font-size=\"" + num(f.size) + "\" fill=\"" + std::string(f.colour) + "\"";
    if (f.anchor != "start") out += " text-anchor=\"" + std::string(f.anchor) + "\"";
    if (f.weight != "normal") out += " font-weight=\"" + std::string(f.weight) + "\"";
    if (f.italic) out += " font-style=\"italic\"";
    return out;
}

std::string point_list(std::span<const Point> points) {
    std::string out;
    for (const auto& [x, y] : points) {
        if (!out.empty()) out += ' ';
        out += num(x) + "," + num(y);
    }
    return out;
}

} // namespace

std::string escape_xml(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

Svg::Svg(double w, double h, std::string_view background) : width(w), height(h) {
    rect(0, 0, w, h, background);
}

void Svg::rect(double x, double y, double w, double h, std::string_view fill, const Stroke* outline, double radius) {
    body += "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(w) + "\" height=\"" + num(h) +
            "\" fill=\"" + std::string(fill) + "\"";
    if (radius > 0.0) body += " rx=\"" + num(radius) + "\"";
    if (outline != nullptr) body += stroke_attributes(*outline);
    body += "/>\n";
}

void Svg::line(double x1, double y1, double x2, double y2, const Stroke& stroke) {
    body += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\"" +
            stroke_attributes(stroke) + "/>\n";
}

void Svg::polyline(std::span<const Point> points, const Stroke& stroke) {
    if (points.size() < 2) return;
    body += "<polyline fill=\"none\" stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"" +
            point_list(points) + "\"" + stroke_attributes(stroke) + "/>\n";
}

void Svg::polygon(std::span<const Point> points, std::string_view fill, double opacity) {
    if (points.size() < 3) return;
    body += "<polygon points=\"" + point_list(points) + "\" fill=\"" + std::string(fill) + "\"";
    if (opacity < 1.0) body += " fill-opacity=\"" + num(opacity) + "\"";
    body += "/>\n";
}

void Svg::text(double x, double y, std::string_view content, const Font& font) {
    body += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + font_attributes(font) + ">" + escape_xml(content) +
            "</text>\n";
}

void Svg::vertical_text(double x, double y, std::string_view content, const Font& font) {
    body += "<text transform=\"translate(" + num(x) + " " + num(y) + ") rotate(-90)\"" + font_attributes(font) + ">" +
            escape_xml(content) + "</text>\n";
}

void Svg::clip_begin(double x, double y, double w, double h) {
    const std::string id = "clip" + std::to_string(++clips);
    body += "<clipPath id=\"" + id + "\"><rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(w) +
            "\" height=\"" + num(h) + "\"/></clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
}

void Svg::clip_end() { body += "</g>\n"; }

std::string Svg::str() const {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           num(width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
           "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n" + body + "</svg>\n";
}

} // namespace loom::tool
