#pragma once
// Figures of line plots drawn as SVG: a title, then rows of panels, each panel with its
// title, legend, axes with ticks and grid, lines or filled areas, and a caption. The demo
// fills one with Kiln's curves and spectra; the drawing knows nothing of Kiln.

#include "loom/tool/svg.hpp"

#include <string>
#include <vector>

namespace loom::tool {

struct Axis {
    std::string label;
    double min = 0.0;
    double max = 1.0;
    bool log = false;                     // base-10 logarithmic scale (min above 0)
    std::vector<double> ticks;            // where grid lines and labels go
    std::vector<std::string> tick_labels; // one per tick
};

// One line, or an area filled down to the bottom of the panel.
struct Series {
    std::string label;      // legend text; empty keeps it out of the legend
    std::string colour;
    std::vector<Point> points; // in axis units
    double width = 2.0;
    std::string dash = {};
    bool area = false;
    double opacity = 1.0;
};

struct Panel {
    std::string title;
    std::string caption; // lines separated by '\n'
    Axis x;
    Axis y;
    std::vector<Series> series; // drawn in order, the last on top
};

struct Figure {
    std::string title;
    std::string subtitle; // lines separated by '\n'
    double width = 1200.0;
    std::vector<std::vector<Panel>> rows; // the panels of a row share its width equally
    std::vector<double> row_heights;      // one per row, in pixels
};

// The whole SVG document.
std::string draw_figure(const Figure& figure);

} // namespace loom::tool
