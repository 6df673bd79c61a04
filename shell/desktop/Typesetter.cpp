#include "shell/desktop/Typesetter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

#include "shell/desktop/Theme.h"

namespace shell {

namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

// A context used only for measuring: the layout's size depends on the font options, not on
// the surface it is drawn to.
cairo_t* measuringContext() {
    static cairo_t* context = [] {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* cr = cairo_create(surface);
        cairo_surface_destroy(surface);
        return cr;
    }();
    return context;
}

LayoutPtr makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style, double width) {
    LayoutPtr layout(pango_cairo_create_layout(cr));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout.get());

    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, Theme::kFontFamily);
    pango_font_description_set_weight(
        font, style.weight == FontWeight::Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);

    pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
    if (width > 0) {
        pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
        if (style.lines == 1) {
            pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
        } else {
            pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
            if (style.lines > 1) {
                pango_layout_set_height(layout.get(), -style.lines);
                pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
            }
        }
    }
    static constexpr PangoAlignment kAlignments[] = {PANGO_ALIGN_LEFT, PANGO_ALIGN_CENTER,
                                                     PANGO_ALIGN_RIGHT};
    pango_layout_set_alignment(layout.get(), kAlignments[static_cast<int>(style.alignment)]);
    return layout;
}

}  // namespace

double Typesetter::width(const std::string& text, const TextStyle& style) {
    auto layout = makeLayout(measuringContext(), text, style, 0);
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return static_cast<double>(logical.width) / PANGO_SCALE;
}

double Typesetter::height(const std::string& text, const TextStyle& style, double width) {
    auto layout = makeLayout(measuringContext(), text, style, width);
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return static_cast<double>(logical.height) / PANGO_SCALE;
}

void Typesetter::draw(cairo_t* cr, const std::string& text, ui::Rect box, const TextStyle& style) {
    if (text.empty() || box.width() <= 0) {
        return;
    }
    auto layout = makeLayout(cr, text, style, box.width());
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    double textHeight = static_cast<double>(logical.height) / PANGO_SCALE;
    cairo_save(cr);
    cairo_rectangle(cr, box.minX(), box.minY(), box.width(), box.height());
    cairo_clip(cr);
    cairo_set_source_rgba(cr, style.color.red, style.color.green, style.color.blue,
                          style.color.alpha);
    cairo_move_to(cr, box.minX(), box.minY() + (box.height() - textHeight) / 2);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

}  // namespace shell
