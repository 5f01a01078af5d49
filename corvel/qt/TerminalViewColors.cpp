// Colour and style mapping of TerminalView: palette and true colours to view
// colours, cell attributes to TextAttributes, the caches behind them, the
// native colours and the terminal's colour callbacks.
#include "corvel/qt/ColorHelpers.h"
#include "corvel/qt/TerminalView.h"

#include <QPalette>

namespace corvel {

namespace {

DecorationLine decorationFor(UnderlineStyle style)
{
    switch (style) {
    case UnderlineStyle::double_: return DecorationLine::doubleLine;
    case UnderlineStyle::dotted: return DecorationLine::singleDotted;
    case UnderlineStyle::dashed: return DecorationLine::singleDashed;
    case UnderlineStyle::none:
    case UnderlineStyle::single:
    case UnderlineStyle::curly: return DecorationLine::single;
    }
    return DecorationLine::single;
}

uint8_t underlineStyleValue(UnderlineStyle style)
{
    return style == UnderlineStyle::none ? rawValue(UnderlineStyle::single) : rawValue(style);
}

bool isExplicit(Attribute::Color color)
{
    return color.isAnsi256() || color.isTrueColor();
}

// With bright colours off, the bright half of the base palette (8...15)
// folds onto the normal half; the cube and the greys (16...255) are colours
// of their own and stay.
bool foldsToNormal(uint8_t code)
{
    return code >= 8 && code < 16;
}

}  // namespace

// ---- native colours ----

void TerminalView::setNativeForegroundColor(const DeviceColor& color)
{
    if (settingFg_) return;
    settingFg_ = true;
    nativeFg_ = color;
    terminal_->setForegroundColor(colors::getTerminalColor(color));
    settingFg_ = false;
}

void TerminalView::setNativeBackgroundColor(const DeviceColor& color)
{
    if (settingBg_) return;
    settingBg_ = true;
    nativeBg_ = color;
    terminal_->setBackgroundColor(colors::getTerminalColor(color));
    settingBg_ = false;
}

void TerminalView::configureNativeColors()
{
    setNativeForegroundColor(DeviceColor::fromQColor(palette().color(QPalette::Text)));
    setNativeBackgroundColor(DeviceColor::fromQColor(palette().color(QPalette::Base)));
}

void TerminalView::setForegroundColor(Terminal&, const Color& color)
{
    setNativeForegroundColor(colors::deviceColor(color));
    colorsChanged();
}

void TerminalView::setBackgroundColor(Terminal&, const Color& color)
{
    setNativeBackgroundColor(colors::deviceColor(color));
    colorsChanged();
}

// ---- caches ----

void TerminalView::resetCaches()
{
    attributes_.clear();
    urlAttributes_.clear();
    runStyles_.clear();
    urlRunStyles_.clear();
    trueColors_.clear();
    colors_.fill(std::nullopt);
}

void TerminalView::colorsChanged()
{
    urlAttributes_.clear();
    attributes_.clear();
    runStyles_.clear();
    urlRunStyles_.clear();
    terminal_->updateFullScreen();
    queuePendingDisplay();
}

void TerminalView::colorChanged(Terminal&, std::optional<int> idx)
{
    if (idx && *idx >= 0 && *idx < 256) {
        colors_[*idx].reset();
    } else {
        colors_.fill(std::nullopt);
    }
    colorsChanged();
}

void TerminalView::installColors(std::span<const Color> colors)
{
    if (colors.size() == 16) {
        terminal_->installedColors.assign(colors.begin(), colors.end());
        terminal_->rebuildAnsiPalette(false);
    }
    colors_.fill(std::nullopt);
    colorsChanged();
}

void TerminalView::setUseBrightColors(bool value)
{
    if (value == useBrightColors_) return;
    useBrightColors_ = value;
    // Faces and foregrounds in the style caches depend on the flag.
    colorsChanged();
}

void TerminalView::setCustomBlockGlyphs(bool value)
{
    customBlockGlyphs_ = value;
    terminal_->refresh(0, terminal_->rows() - 1);
    queuePendingDisplay();
}

void TerminalView::setAntiAliasCustomBlockGlyphs(bool value)
{
    antiAliasCustomBlockGlyphs_ = value;
    terminal_->refresh(0, terminal_->rows() - 1);
    queuePendingDisplay();
}

// ---- mapping ----

DeviceColor TerminalView::defaultColor(bool isFg) const
{
    return (isFg ? nativeFg_ : nativeBg_).value_or(DeviceColor{});
}

DeviceColor TerminalView::defaultInvertedColor(bool isFg) const
{
    return colors::inverseColor(defaultColor(isFg));
}

DeviceColor TerminalView::ansi256(uint8_t code, bool isBold, bool useBrightColors)
{
    uint8_t index = code;
    if (useBrightColors) {
        if (isBold && code <= 6) index = static_cast<uint8_t>(code + 8);
    } else if (foldsToNormal(code)) {
        index = static_cast<uint8_t>(code - 8);
    }
    if (auto& cached = colors_[index]) return *cached;
    const auto& palette = terminal_->ansiColors;
    const Color entry = index < palette.size() ? palette[index] : Color::defaultForeground;
    const DeviceColor color = colors::deviceColor(entry);
    colors_[index] = color;
    return color;
}

DeviceColor TerminalView::trueColor(Attribute::Color color)
{
    if (auto found = trueColors_.find(color); found != trueColors_.end()) return found->second;
    const DeviceColor made{color.red() / 255.0, color.green() / 255.0, color.blue() / 255.0, 1.0};
    trueColors_.emplace(color, made);
    return made;
}

DeviceColor TerminalView::mapColor(Attribute::Color color, bool isFg, bool isBold, bool useBrightColors)
{
    switch (color.kind()) {
    case Attribute::Color::Kind::ansi256: return ansi256(color.code(), isBold, useBrightColors);
    case Attribute::Color::Kind::trueColor: return trueColor(color);
    case Attribute::Color::Kind::defaultColor: return defaultColor(isFg);
    case Attribute::Color::Kind::defaultInvertedColor: return defaultInvertedColor(isFg);
    }
    return defaultColor(isFg);
}

const TextAttributes& TerminalView::getAttributes(const Attribute& attribute, bool withUrl)
{
    auto& cache = withUrl ? urlAttributes_ : attributes_;
    if (auto found = cache.find(attribute); found != cache.end()) return found->second;

    const bool bold = attribute.style.contains(CharacterStyle::bold);
    const bool italic = attribute.style.contains(CharacterStyle::italic);
    Attribute::Color fg = attribute.fg;
    Attribute::Color bg = attribute.bg;
    if (attribute.style.contains(CharacterStyle::inverse)) {
        fg = isExplicit(attribute.bg) ? attribute.bg : Attribute::Color::defaultInvertedColor();
        bg = isExplicit(attribute.fg) ? attribute.fg : Attribute::Color::defaultInvertedColor();
    }

    TextAttributes result;
    // Bright colours off: a bright foreground is shown as bold text instead.
    const bool forcedBold = !useBrightColors_ && fg.isAnsi256() && foldsToNormal(fg.code());
    result.font = fontSet_.face(bold || forcedBold, italic);
    result.foreground = mapColor(fg, true, bold, useBrightColors_);
    result.background = mapColor(bg, false, false, true);
    if (attribute.style.contains(CharacterStyle::dim)) {
        result.foreground = colors::dimmedColor(result.foreground, result.background);
    }
    if (attribute.style.contains(CharacterStyle::underline)) {
        result.underlineColor = attribute.underlineColor
                                    ? mapColor(*attribute.underlineColor, true, bold, useBrightColors_)
                                    : result.foreground;
        result.underline = decorationFor(attribute.underlineStyle);
        result.underlineStyle = underlineStyleValue(attribute.underlineStyle);
    }
    if (attribute.style.contains(CharacterStyle::crossedOut)) {
        result.strikethroughColor = result.foreground;
        result.strikethrough = DecorationLine::single;
    }
    if (withUrl) {
        result.underline = DecorationLine::single;
        result.underlineColor = result.foreground;
        result.underlineStyle = rawValue(UnderlineStyle::dashed);
    }
    return cache.emplace(attribute, std::move(result)).first->second;
}

TextAttributes TerminalView::getAttributedValue(const Attribute& attribute, const DeviceColor& fg,
                                                const DeviceColor& bg)
{
    const bool bold = attribute.style.contains(CharacterStyle::bold);
    TextAttributes result;
    result.font = fontSet_.face(bold, attribute.style.contains(CharacterStyle::italic));
    const bool inverse = attribute.style.contains(CharacterStyle::inverse);
    result.foreground = inverse ? bg : fg;
    result.background = inverse ? fg : bg;
    if (attribute.style.contains(CharacterStyle::underline)) {
        result.underlineColor = attribute.underlineColor
                                    ? mapColor(*attribute.underlineColor, true, bold, useBrightColors_)
                                    : result.foreground;
        result.underline = decorationFor(attribute.underlineStyle);
        result.underlineStyle = underlineStyleValue(attribute.underlineStyle);
    }
    if (attribute.style.contains(CharacterStyle::crossedOut)) {
        result.strikethroughColor = result.foreground;
        result.strikethrough = DecorationLine::single;
    }
    return result;
}

}  // namespace corvel
