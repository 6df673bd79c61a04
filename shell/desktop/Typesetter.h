#pragma once

#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"

using cairo_t = struct _cairo;

namespace shell {

enum class FontWeight { Regular, Bold };

struct TextStyle {
    double size = 15;
    FontWeight weight = FontWeight::Regular;
    ui::Color color = ui::Color::black();
    ui::TextAlignment alignment = ui::TextAlignment::Left;
    // 0: as many lines as the text needs; 1: one line, cut with an ellipsis.
    int lines = 1;
};

// Lays text out with Pango in points, the same way for measuring and drawing, so a bar's
// layout and the taps on it agree. Metrics are not hinted: text measures alike at every scale.
// Main thread.
class Typesetter {
public:
    // Width of one line of `text`.
    static double width(const std::string& text, const TextStyle& style);
    // Height of `text` wrapped to `width`.
    static double height(const std::string& text, const TextStyle& style, double width);
    // Draws `text` in `box`, centred vertically.
    static void draw(cairo_t* cr, const std::string& text, ui::Rect box, const TextStyle& style);
};

}  // namespace shell
