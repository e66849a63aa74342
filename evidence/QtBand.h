#pragma once

// The caption band drawn with Qt Gui: white text on black, one line per caption line.

#include <QFont>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "evidence/Band.h"

namespace droskal::evidence {

// The font for a band `height` pixels tall with `lines` lines.
QFont BandFont(int height, int lines);

// The lines drawn into a band image of the given size.
QImage DrawBand(const std::vector<std::string>& lines, int width, int height);

// The painter the pack takes. Needs a QGuiApplication (fonts).
BandPainter QtBandPainter();

}  // namespace droskal::evidence
