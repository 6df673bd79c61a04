#include "shell/desktop/Renderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/core/Clock.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/BarLayout.h"
#include "shell/desktop/CameraPreview.h"
#include "shell/desktop/PromptLayout.h"
#include "shell/desktop/Theme.h"
#include "shell/desktop/Typesetter.h"

namespace shell {

namespace {

constexpr double kPi = std::numbers::pi;

void setColor(cairo_t* cr, ui::Color c) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

void roundedRect(cairo_t* cr, ui::Rect r, double radius) {
    radius = std::min({radius, r.width() / 2, r.height() / 2});
    double x = r.minX(), y = r.minY(), w = r.width(), h = r.height();
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -kPi / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, kPi / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, kPi / 2, kPi);
    cairo_arc(cr, x + radius, y + radius, radius, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

double luminance(ui::Color c) {
    return 0.2126 * c.red + 0.7152 * c.green + 0.0722 * c.blue;
}

// Draws the views of a tree, one call per view, and the motions around them.
class Painter {
public:
    Painter(cairo_t* cr, double scale, Animator& animator, ImageSurfaceCache& images,
            ui::ImagePtr cameraStill)
        : cr_(cr),
          scale_(scale),
          animator_(animator),
          images_(images),
          cameraStill_(std::move(cameraStill)) {}

    void drawTree(const ui::View& view);
    void drawPrompt(ui::Rect screen);

private:
    void drawView(const ui::View& view);
    void drawChildren(const ui::View& view);
    void drawContent(const ui::View& view);
    void drawTransition(const ui::View& to, const ui::ViewTransition& transition);
    void drawLabel(const ui::Label& label);
    void drawButton(const ui::Button& button);
    void drawTextField(const ui::TextField& field);
    void drawImage(const std::shared_ptr<ui::Image>& image, ui::Rect bounds, ui::ContentMode mode);
    void drawNineSlice(const ui::ResizableImage& image, ui::Rect bounds);
    void drawSpinner(const ui::ActivityIndicatorView& spinner);
    void drawProgress(const ui::ProgressView& progress);
    void drawBar(const ui::View& bar, const std::vector<ui::BarButtonItemPtr>& items, bool dark);
    void drawCell(const ui::CollectionViewCell& cell);
    void drawAlert(const ui::Prompt& prompt, const PromptLayout& layout);
    void drawSheet(const ui::Prompt& prompt, const PromptLayout& layout);
    bool isDark(const ui::ResizableImage& image);

    cairo_t* cr_;
    double scale_;
    Animator& animator_;
    ImageSurfaceCache& images_;
    ui::ImagePtr cameraStill_;
};

std::shared_ptr<ui::ViewTransition> transitionInto(const ui::View& view) {
    for (const auto& transition : ui::ViewTransition::running()) {
        if (transition->toView().get() == &view) {
            return transition;
        }
    }
    return nullptr;
}

void Painter::drawTree(const ui::View& view) {
    drawView(view);
}

void Painter::drawView(const ui::View& view) {
    if (view.isHidden() || view.alpha() <= 0.01) {
        return;
    }
    if (auto transition = transitionInto(view)) {
        drawTransition(view, *transition);
        return;
    }
    cairo_save(cr_);
    cairo_translate(cr_, view.frame().minX(), view.frame().minY());
    bool faded = view.alpha() < 0.99;
    if (faded) {
        cairo_push_group(cr_);
    }
    drawContent(view);
    if (dynamic_cast<const ui::CollectionView*>(&view)) {
        cairo_rectangle(cr_, 0, 0, view.bounds().width(), view.bounds().height());
        cairo_clip(cr_);
    }
    drawChildren(view);
    if (faded) {
        cairo_pop_group_to_source(cr_);
        cairo_paint_with_alpha(cr_, view.alpha());
    }
    cairo_restore(cr_);
}

void Painter::drawChildren(const ui::View& view) {
    for (const auto& child : view.subviews()) {
        drawView(*child);
    }
}

void Painter::drawContent(const ui::View& view) {
    ui::Rect bounds = view.bounds();
    if (view.backgroundColor().alpha > 0) {
        setColor(cr_, view.backgroundColor());
        cairo_rectangle(cr_, 0, 0, bounds.width(), bounds.height());
        cairo_fill(cr_);
    }
    if (auto* label = dynamic_cast<const ui::Label*>(&view)) {
        drawLabel(*label);
    } else if (auto* field = dynamic_cast<const ui::TextField*>(&view)) {
        drawTextField(*field);
    } else if (auto* button = dynamic_cast<const ui::Button*>(&view)) {
        drawButton(*button);
    } else if (auto* image = dynamic_cast<const ui::ImageView*>(&view)) {
        auto shown = image->displayedImage();
        if (!shown && cameraStill_ && view.identifier() == CameraPreview::kPreviewIdentifier) {
            shown = cameraStill_;
        }
        drawImage(shown, bounds, image->contentMode());
    } else if (auto* spinner = dynamic_cast<const ui::ActivityIndicatorView*>(&view)) {
        drawSpinner(*spinner);
    } else if (auto* progress = dynamic_cast<const ui::ProgressView*>(&view)) {
        drawProgress(*progress);
    } else if (auto* toolbar = dynamic_cast<const ui::Toolbar*>(&view)) {
        drawBar(view, BarLayout::itemsOf(view), toolbar->barStyle() == ui::BarStyle::Black);
    } else if (auto* navigationBar = dynamic_cast<const ui::NavigationBar*>(&view)) {
        drawBar(view, BarLayout::itemsOf(view), navigationBar->barStyle() == ui::BarStyle::Black);
        if (auto item = navigationBar->topItem()) {
            Typesetter::draw(cr_, item->title(), insetRect(bounds, {0, 90, 0, 90}),
                             {Theme::kTitle, FontWeight::Bold,
                              navigationBar->barStyle() == ui::BarStyle::Black ? Theme::accentInk()
                                                                               : Theme::ink(),
                              ui::TextAlignment::Center, 1});
        }
    } else if (auto* cell = dynamic_cast<const ui::CollectionViewCell*>(&view)) {
        drawCell(*cell);
    }
}

void Painter::drawLabel(const ui::Label& label) {
    TextStyle style{label.fontSize(), FontWeight::Regular, label.textColor(), label.textAlignment(),
                    label.numberOfLines()};
    Typesetter::draw(cr_, label.text(), label.bounds(), style);
}

bool Painter::isDark(const ui::ResizableImage& image) {
    cairo_surface_t* surface = images_.surface(image.image, 8, 8);
    if (!surface) {
        return false;
    }
    cairo_surface_flush(surface);
    int w = cairo_image_surface_get_width(surface);
    int h = cairo_image_surface_get_height(surface);
    auto* row = cairo_image_surface_get_data(surface) +
                static_cast<std::ptrdiff_t>(h / 2) * cairo_image_surface_get_stride(surface);
    auto pixel = reinterpret_cast<const std::uint32_t*>(row)[w / 2];
    double alpha = ((pixel >> 24) & 0xff) / 255.0;
    if (alpha < 0.1) {
        return false;
    }
    ui::Color c{((pixel >> 16) & 0xff) / 255.0 / alpha, ((pixel >> 8) & 0xff) / 255.0 / alpha,
                (pixel & 0xff) / 255.0 / alpha, 1};
    return luminance(c) < 0.5;
}

void Painter::drawButton(const ui::Button& button) {
    ui::Rect bounds = button.bounds();
    auto background = button.currentBackgroundImage();
    bool dark = false;
    if (background) {
        drawNineSlice(background, bounds);
        dark = isDark(background);
    } else if (!button.currentTitle().empty()) {
        // A plain titled button is drawn as our own filled button.
        roundedRect(cr_, bounds, Theme::kCornerRadius);
        setColor(cr_, Theme::accent());
        cairo_fill(cr_);
        dark = true;
    }
    if (auto image = button.image(button.state())) {
        drawImage(image, bounds, ui::ContentMode::Center);
    }
    TextStyle style{Theme::kBody, FontWeight::Bold, dark ? Theme::accentInk() : Theme::accent(),
                    ui::TextAlignment::Center, 1};
    Typesetter::draw(cr_, button.currentTitle(), insetRect(bounds, {0, 6, 0, 6}), style);
    if (button.isHighlighted()) {
        roundedRect(cr_, bounds, Theme::kCornerRadius);
        setColor(cr_, ui::Color::gray(0, 0.18));
        cairo_fill(cr_);
    }
    if (!button.isEnabled()) {
        roundedRect(cr_, bounds, Theme::kCornerRadius);
        setColor(cr_, Theme::rgb(0xf4f5f7, 0.55));
        cairo_fill(cr_);
    }
}

void Painter::drawTextField(const ui::TextField& field) {
    ui::Rect bounds = field.bounds();
    bool editing = field.isFirstResponder();
    roundedRect(cr_, insetRect(bounds, {0.5, 0.5, 0.5, 0.5}), Theme::kCornerRadius);
    setColor(cr_, Theme::surface());
    cairo_fill_preserve(cr_);
    setColor(cr_, editing ? Theme::accent() : Theme::hairline());
    cairo_set_line_width(cr_, editing ? 2 : 1);
    cairo_stroke(cr_);

    ui::Rect box = insetRect(bounds, {0, Theme::kFieldPadding, 0, Theme::kFieldPadding});
    std::string shown = field.text();
    if (field.isSecureTextEntry()) {
        std::string dots;
        for (unsigned char c : field.text()) {
            if ((c & 0xC0) != 0x80) {
                dots += "\u2022";
            }
        }
        shown = dots;
    }
    TextStyle style{Theme::kBody, FontWeight::Regular, Theme::ink(), ui::TextAlignment::Left, 1};
    if (shown.empty()) {
        style.color = Theme::mutedInk();
        Typesetter::draw(cr_, field.placeholder(), box, style);
    } else {
        Typesetter::draw(cr_, shown, box, style);
    }
    if (editing) {
        // Typing always goes to the end of the text, so that is where the caret stands.
        double x = box.minX() + std::min(Typesetter::width(shown, style), box.width() - 2);
        setColor(cr_, Theme::accent());
        cairo_rectangle(cr_, x + 1, bounds.midY() - Theme::kBody * 0.65, 2, Theme::kBody * 1.3);
        cairo_fill(cr_);
    }
}

void Painter::drawImage(const std::shared_ptr<ui::Image>& image, ui::Rect bounds,
                        ui::ContentMode mode) {
    if (!image || bounds.isEmpty()) {
        return;
    }
    ui::Size size = image->size();
    if (size.width <= 0 || size.height <= 0) {
        return;
    }
    ui::Rect target = bounds;
    double sx = bounds.width() / size.width;
    double sy = bounds.height() / size.height;
    if (mode == ui::ContentMode::ScaleAspectFit || mode == ui::ContentMode::ScaleAspectFill) {
        double s = mode == ui::ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
        target = ui::Rect(bounds.midX() - size.width * s / 2, bounds.midY() - size.height * s / 2,
                          size.width * s, size.height * s);
    } else if (mode == ui::ContentMode::Center) {
        target = ui::Rect(bounds.midX() - size.width / 2, bounds.midY() - size.height / 2,
                          size.width, size.height);
    }
    int pixelWidth = static_cast<int>(std::ceil(target.width() * scale_));
    int pixelHeight = static_cast<int>(std::ceil(target.height() * scale_));
    cairo_surface_t* surface = images_.surface(image, pixelWidth, pixelHeight);
    if (!surface) {
        return;
    }
    cairo_save(cr_);
    cairo_rectangle(cr_, bounds.minX(), bounds.minY(), bounds.width(), bounds.height());
    cairo_clip(cr_);
    cairo_translate(cr_, target.minX(), target.minY());
    cairo_scale(cr_, target.width() / cairo_image_surface_get_width(surface),
                target.height() / cairo_image_surface_get_height(surface));
    cairo_set_source_surface(cr_, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void Painter::drawNineSlice(const ui::ResizableImage& resizable, ui::Rect bounds) {
    const auto& image = resizable.image;
    ui::Size size = image->size();
    cairo_surface_t* surface = images_.surface(image, image->pixelWidth(), image->pixelHeight());
    if (!surface || size.width <= 0 || size.height <= 0) {
        return;
    }
    double px = cairo_image_surface_get_width(surface) / size.width;
    const auto& caps = resizable.capInsets;
    // Caps that do not fit the destination shrink evenly instead of overlapping.
    double fitX = std::min(1.0, bounds.width() / std::max(1e-9, caps.left + caps.right));
    double fitY = std::min(1.0, bounds.height() / std::max(1e-9, caps.top + caps.bottom));
    double srcX[] = {0, caps.left, size.width - caps.right, size.width};
    double srcY[] = {0, caps.top, size.height - caps.bottom, size.height};
    double dstX[] = {bounds.minX(), bounds.minX() + caps.left * fitX,
                     bounds.maxX() - caps.right * fitX, bounds.maxX()};
    double dstY[] = {bounds.minY(), bounds.minY() + caps.top * fitY,
                     bounds.maxY() - caps.bottom * fitY, bounds.maxY()};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            double sw = srcX[column + 1] - srcX[column], sh = srcY[row + 1] - srcY[row];
            double dw = dstX[column + 1] - dstX[column], dh = dstY[row + 1] - dstY[row];
            if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) {
                continue;
            }
            cairo_save(cr_);
            cairo_rectangle(cr_, dstX[column], dstY[row], dw, dh);
            cairo_clip(cr_);
            cairo_translate(cr_, dstX[column], dstY[row]);
            cairo_scale(cr_, dw / (sw * px), dh / (sh * px));
            cairo_set_source_surface(cr_, surface, -srcX[column] * px, -srcY[row] * px);
            cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
            cairo_paint(cr_);
            cairo_restore(cr_);
        }
    }
}

void Painter::drawSpinner(const ui::ActivityIndicatorView& spinner) {
    ui::Rect bounds = spinner.bounds();
    bool large = spinner.style() == ui::ActivityIndicatorStyle::WhiteLarge;
    double radius = std::min(bounds.width(), bounds.height()) / 2 * (large ? 0.9 : 0.8);
    ui::Color color =
        spinner.style() == ui::ActivityIndicatorStyle::Gray ? Theme::mutedInk() : Theme::accent();
    constexpr int kSpokes = 12;
    double seconds = core::Clock::now().time_since_epoch().count();
    int lead = spinner.isAnimating()
                   ? static_cast<int>(std::fmod(seconds / Theme::kSpinnerTurn, 1.0) * kSpokes)
                   : 0;
    cairo_save(cr_);
    cairo_translate(cr_, bounds.midX(), bounds.midY());
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr_, std::max(1.5, radius * 0.18));
    for (int i = 0; i < kSpokes; ++i) {
        int age = (lead - i + kSpokes) % kSpokes;
        ui::Color spoke = color;
        spoke.alpha = 1.0 - 0.75 * age / kSpokes;
        setColor(cr_, spoke);
        double angle = 2 * kPi * i / kSpokes - kPi / 2;
        cairo_move_to(cr_, std::cos(angle) * radius * 0.45, std::sin(angle) * radius * 0.45);
        cairo_line_to(cr_, std::cos(angle) * radius, std::sin(angle) * radius);
        cairo_stroke(cr_);
    }
    cairo_restore(cr_);
}

void Painter::drawProgress(const ui::ProgressView& progress) {
    ui::Rect bounds = progress.bounds();
    double height = std::min(bounds.height(), 6.0);
    ui::Rect track(0, bounds.midY() - height / 2, bounds.width(), height);
    roundedRect(cr_, track, height / 2);
    setColor(cr_, Theme::hairline());
    cairo_fill(cr_);
    if (progress.progress() > 0) {
        roundedRect(cr_, ui::Rect(0, track.minY(), bounds.width() * progress.progress(), height),
                    height / 2);
        setColor(cr_, Theme::accent());
        cairo_fill(cr_);
    }
}

void Painter::drawBar(const ui::View& bar, const std::vector<ui::BarButtonItemPtr>& items,
                      bool dark) {
    ui::Rect bounds = bar.bounds();
    setColor(cr_, dark ? Theme::darkBar() : Theme::lightBar());
    cairo_rectangle(cr_, 0, 0, bounds.width(), bounds.height());
    cairo_fill(cr_);
    setColor(cr_, dark ? ui::Color::gray(1, 0.08) : Theme::hairline());
    cairo_rectangle(cr_, 0, 0, bounds.width(), 1.0 / scale_);
    cairo_fill(cr_);
    for (const auto& slot : BarLayout::layout(items, bounds)) {
        if (slot.item->systemItem() != ui::BarButtonSystemItem::None) {
            continue;
        }
        bool done = slot.item->style() == ui::BarButtonItemStyle::Done;
        ui::Color ink = dark ? Theme::accentInk() : Theme::accent();
        if (!slot.item->isEnabled()) {
            ink = dark ? ui::Color::gray(1, 0.35) : Theme::mutedInk();
        }
        if (done && slot.item->isEnabled()) {
            roundedRect(cr_, insetRect(slot.frame, {8, 2, 8, 2}), Theme::kCornerRadius);
            setColor(cr_, Theme::accent());
            cairo_fill(cr_);
            ink = Theme::accentInk();
        }
        TextStyle style{Theme::kBody, done ? FontWeight::Bold : FontWeight::Regular, ink,
                        ui::TextAlignment::Center, 1};
        Typesetter::draw(cr_, slot.item->title(), slot.frame, style);
    }
}

void Painter::drawCell(const ui::CollectionViewCell& cell) {
    if (!cell.isSelected()) {
        return;
    }
    roundedRect(cr_, insetRect(cell.bounds(), {1.5, 1.5, 1.5, 1.5}), 4);
    setColor(cr_, Theme::accent());
    cairo_set_line_width(cr_, 3);
    cairo_stroke(cr_);
}

void Painter::drawTransition(const ui::View& to, const ui::ViewTransition& transition) {
    using K = ui::TransitionKind;
    double p = Animator::ease(transition.progress());
    auto from = transition.fromView();
    // A view still in the tree is drawn there; only one that has left it is drawn here.
    const ui::View* leaving = from && !from->superview() ? from.get() : nullptr;
    double w = to.frame().width(), h = to.frame().height();
    auto drawAt = [&](const ui::View* view, double dx, double dy, double alpha) {
        if (!view || alpha <= 0) {
            return;
        }
        cairo_save(cr_);
        cairo_translate(cr_, to.frame().minX() + dx, to.frame().minY() + dy);
        cairo_push_group(cr_);
        drawContent(*view);
        drawChildren(*view);
        cairo_pop_group_to_source(cr_);
        cairo_paint_with_alpha(cr_, alpha * view->alpha());
        cairo_restore(cr_);
    };
    auto flip = [&](bool vertical) {
        // Half a turn about the middle: the old side folds away, the new one unfolds.
        double turn = std::cos(p * kPi);
        const ui::View* side = turn >= 0 ? leaving : &to;
        cairo_save(cr_);
        cairo_translate(cr_, to.frame().midX(), to.frame().midY());
        cairo_scale(cr_, vertical ? 1 : std::max(0.001, std::fabs(turn)),
                    vertical ? std::max(0.001, std::fabs(turn)) : 1);
        cairo_translate(cr_, -to.frame().midX(), -to.frame().midY());
        drawAt(side, 0, 0, 1);
        cairo_restore(cr_);
    };
    switch (transition.kind()) {
        case K::Push:
            drawAt(leaving, -0.3 * w * p, 0, 1);
            drawAt(&to, w * (1 - p), 0, 1);
            break;
        case K::Pop:
            drawAt(&to, -0.3 * w * (1 - p), 0, 1);
            drawAt(leaving, w * p, 0, 1);
            break;
        case K::CoverVertical:
            drawAt(leaving, 0, 0, 1);
            drawAt(&to, 0, h * (1 - p), 1);
            break;
        case K::Uncover:
            drawAt(&to, 0, 0, 1);
            drawAt(leaving, 0, h * p, 1);
            break;
        case K::FlipFromTop:
        case K::FlipFromBottom:
            flip(true);
            break;
        case K::FlipFromLeft:
        case K::FlipFromRight:
            flip(false);
            break;
        default:
            drawAt(leaving, 0, 0, 1);
            drawAt(&to, 0, 0, p);
            break;
    }
}

void Painter::drawPrompt(ui::Rect screen) {
    auto prompt = ui::Prompt::visiblePrompt();
    if (!prompt) {
        return;
    }
    double shown = animator_.promptShown();
    PromptLayout layout(*prompt, screen, Animator::ease(shown));
    ui::Color scrim = Theme::scrim();
    scrim.alpha *= shown;
    setColor(cr_, scrim);
    cairo_rectangle(cr_, screen.minX(), screen.minY(), screen.width(), screen.height());
    cairo_fill(cr_);
    if (layout.isSheet()) {
        drawSheet(*prompt, layout);
        return;
    }
    cairo_push_group(cr_);
    drawAlert(*prompt, layout);
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, Animator::ease(shown));
}

void Painter::drawAlert(const ui::Prompt& prompt, const PromptLayout& layout) {
    ui::Rect card = layout.cards().front();
    roundedRect(cr_, card, 14);
    setColor(cr_, Theme::surface());
    cairo_fill(cr_);
    Typesetter::draw(cr_, prompt.title(), layout.titleFrame(),
                     {Theme::kTitle, FontWeight::Bold, Theme::ink(), ui::TextAlignment::Center, 0});
    if (auto* alert = dynamic_cast<const ui::AlertView*>(&prompt)) {
        Typesetter::draw(
            cr_, alert->message(), layout.messageFrame(),
            {Theme::kBody - 1, FontWeight::Regular, Theme::ink(), ui::TextAlignment::Center, 0});
    }
    for (const auto& slot : layout.buttons()) {
        setColor(cr_, Theme::hairline());
        cairo_rectangle(cr_, slot.frame.minX(), slot.frame.minY(), slot.frame.width(), 1);
        if (slot.frame.minX() > card.minX()) {
            cairo_rectangle(cr_, slot.frame.minX(), slot.frame.minY(), 1, slot.frame.height());
        }
        cairo_fill(cr_);
        bool cancel = slot.index == prompt.cancelButtonIndex();
        Typesetter::draw(cr_, prompt.buttonTitleAtIndex(slot.index), slot.frame,
                         {Theme::kTitle, cancel ? FontWeight::Regular : FontWeight::Bold,
                          Theme::accent(), ui::TextAlignment::Center, 1});
    }
}

void Painter::drawSheet(const ui::Prompt& prompt, const PromptLayout& layout) {
    for (const auto& card : layout.cards()) {
        roundedRect(cr_, card, 14);
        setColor(cr_, Theme::surface());
        cairo_fill(cr_);
    }
    Typesetter::draw(
        cr_, prompt.title(), layout.titleFrame(),
        {Theme::kCaption, FontWeight::Regular, Theme::mutedInk(), ui::TextAlignment::Center, 0});
    int destructive = -1;
    if (auto* sheet = dynamic_cast<const ui::ActionSheet*>(&prompt)) {
        destructive = sheet->destructiveButtonIndex();
    }
    for (const auto& slot : layout.buttons()) {
        bool cancel = slot.index == prompt.cancelButtonIndex();
        if (!cancel &&
            (slot.frame.minY() > layout.cards().front().minY() || !prompt.title().empty())) {
            setColor(cr_, Theme::hairline());
            cairo_rectangle(cr_, slot.frame.minX(), slot.frame.minY(), slot.frame.width(), 1);
            cairo_fill(cr_);
        }
        ui::Color ink = slot.index == destructive ? Theme::danger() : Theme::accent();
        Typesetter::draw(cr_, prompt.buttonTitleAtIndex(slot.index), slot.frame,
                         {Theme::kTitle, cancel ? FontWeight::Bold : FontWeight::Regular, ink,
                          ui::TextAlignment::Center, 1});
    }
}

}  // namespace

Renderer::Renderer(double scale) : scale_(scale) {}

void Renderer::draw(cairo_t* cr, const ui::Window& window) {
    animator_.update();
    cairo_save(cr);
    cairo_scale(cr, scale_, scale_);
    setColor(cr, Theme::background());
    cairo_paint(cr);
    Painter painter(cr, scale_, animator_, images_, cameraStill_);
    cairo_translate(cr, -window.frame().minX(), -window.frame().minY());
    painter.drawTree(window);
    cairo_translate(cr, window.frame().minX(), window.frame().minY());
    painter.drawPrompt(window.bounds());
    cairo_restore(cr);
}

ui::BitmapPtr Renderer::render(const ui::Window& window) {
    int width = static_cast<int>(std::lround(window.frame().width() * scale_));
    int height = static_cast<int>(std::lround(window.frame().height() * scale_));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    draw(cr, window);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGBA8);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* in =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        std::uint8_t* out = bitmap->row(y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t p = in[x];
            std::uint32_t a = p >> 24;
            auto un = [a](std::uint32_t c) {
                return static_cast<std::uint8_t>(a ? std::min<std::uint32_t>(255, c * 255 / a) : 0);
            };
            out[4 * x] = un((p >> 16) & 0xff);
            out[4 * x + 1] = un((p >> 8) & 0xff);
            out[4 * x + 2] = un(p & 0xff);
            out[4 * x + 3] = static_cast<std::uint8_t>(a);
        }
    }
    cairo_surface_destroy(surface);
    return bitmap;
}

core::Expected<void> renderToPNG(const ui::Window& window, const std::filesystem::path& path,
                                 ui::ImagePtr cameraStill) {
    Renderer renderer(ui::Screen::main().scale());
    renderer.setCameraStill(std::move(cameraStill));
    int width = static_cast<int>(std::lround(window.frame().width() * renderer.scale()));
    int height = static_cast<int>(std::lround(window.frame().height() * renderer.scale()));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    renderer.draw(cr, window);
    cairo_destroy(cr);
    cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        core::Error error("ShellErrorDomain", 1);
        error.set(core::LocalizedDescriptionKey,
                  "could not write " + path.string() + ": " + cairo_status_to_string(status));
        return error;
    }
    return {};
}

}  // namespace shell
