#pragma once

// Colours that stay readable: the contrast of two colours as accessibility guidelines measure
// it (1 for equal colours, 21 for black on white), and a colour of a given hue darkened or
// lightened until text in it reads on every background given.

#include <QColor>
#include <QList>

double contrastRatio(const QColor& a, const QColor& b);

// The colour of hue's tone nearest to it whose contrast against each background is at least
// minimum: darker on light backgrounds, lighter on dark ones. Where no tone of the hue gets
// there, black or white, whichever reads better.
QColor readableTint(const QColor& hue, const QList<QColor>& backgrounds, double minimum = 4.5);
