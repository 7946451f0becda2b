#include "platform/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

double worstContrast(const QColor& colour, const QList<QColor>& backgrounds)
{
    double worst = 21;
    for (const QColor& background : backgrounds)
        worst = std::min(worst, contrastRatio(colour, background));
    return worst;
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double x = luminance(a);
    const double y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

QColor readableTint(const QColor& hue, const QList<QColor>& backgrounds, double minimum)
{
    if (worstContrast(hue, backgrounds) >= minimum)
        return hue;
    double light = 0;
    for (const QColor& background : backgrounds)
        light += luminance(background);
    // Away from the backgrounds' lightness, in small steps, keeping hue and saturation.
    const bool darken = backgrounds.isEmpty() || light / backgrounds.size() > 0.18;
    const QColor hsl = hue.toHsl();
    for (int step = 1; step <= 50; ++step) {
        const double lightness = darken ? hsl.lightnessF() * (1 - step / 50.0)
                                        : hsl.lightnessF() + (1 - hsl.lightnessF()) * step / 50.0;
        const QColor tint = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness);
        if (worstContrast(tint, backgrounds) >= minimum)
            return tint.toRgb();
    }
    const QColor black(Qt::black), white(Qt::white);
    return worstContrast(black, backgrounds) >= worstContrast(white, backgrounds) ? black : white;
}
