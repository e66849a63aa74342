#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "config/IniFile.h"

namespace droskal {

// The window's shared variables. Every handler and operation of Form1 reads and writes
// them directly; the record lives exactly as long as the window.
// File positions are 64-bit so that recordings of 2 GiB and more behave like small ones.
// The play delay and map calibration (mapLat1 ... latScale) are the start-up's MapCalibration.
struct ViewerState : MapCalibration {
    std::vector<std::uint8_t> picBuf;  // width x height x 3, bottom-up rows; Y/Cb/Cr, then B/G/R
    std::int64_t picturePos = 0;       // last byte (the 00) of the current picture start code
    bool playing = false;
    std::int64_t fileLength = 0;
    bool unloadPending = false;
    QString mpegFileName;
    QString bmpFileName;
    QString cutFileName;
    std::int64_t cutStart = -1;  // -1: not set
    std::int64_t cutEnd = -1;
    std::uint8_t picFormat = 0;  // 0 none, 1 = 640x480, 2 = 320x240
    bool barDragging = false;
    bool barEnabled = false;
    std::string nmeaText;  // raw user-data bytes, one char each
    std::string gpsLat;
    std::string gpsLon;
    bool gpsValid = false;
    QImage mapPicture;  // null when no map; kept 8-bit indexed (16 MiB for 4096 x 4096)
    std::int16_t mapOriginX = 0;
    std::int16_t mapOriginY = 0;
};

}  // namespace droskal
