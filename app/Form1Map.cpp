// Map view: the recorded position as a point on the map, and the switch between views.
#include <QLocale>

#include "app/Form1.h"
#include "app/Twips.h"
#include "gps/MapGeometry.h"

namespace droskal {

void Form1::DrawMapWindow() {
    // Only the 640 x 480 window is drawn; a map smaller than the arithmetic's 4096 x 4096
    // leaves the area beyond its edge in the background colour.
    Pic1->Cls();
    if (state.mapPicture.isNull()) return;
    // Cut the window out first: painting straight from the 8-bit map could convert the
    // whole 4096 x 4096 picture to 32 bits on every redraw.
    const QRect window = QRect(state.mapOriginX, state.mapOriginY, kMapViewWidth, kMapViewHeight)
                             .intersected(state.mapPicture.rect());
    if (window.isEmpty()) return;
    Pic1->DrawImagePart(state.mapPicture.copy(window), QRect(QPoint(0, 0), window.size()),
                        window.x() - state.mapOriginX, window.y() - state.mapOriginY);
}

void Form1::ShowPos() {
    const MapPosition position =
        LocateOnMap(state.gpsLat, state.gpsLon, Calibration(), !state.mapPicture.isNull(),
                    MapOrigin{state.mapOriginX, state.mapOriginY});
    const MapPlacement& placement = position.placement;
    if (!placement.onMap) {
        Pic1->hide();
        const std::string separator = QLocale().decimalPoint().toStdString();
        lblLat->setText(QString::fromStdString(MapLatLabel(position.lat, separator)));
        lblLon->setText(QString::fromStdString(MapLonLabel(position.lon, separator)));
        return;
    }
    Pic1->show();
    if (placement.redraw) {
        state.mapOriginX = placement.origin.mapOriginX;
        state.mapOriginY = placement.origin.mapOriginY;
        DrawMapWindow();
    }
    shPoint->setLeft(static_cast<float>(PixelsToTwips(placement.pointLeft)));
    shPoint->setTop(static_cast<float>(PixelsToTwips(placement.pointTop)));
    const PointColour colour = MapPointColour(state.gpsValid);
    shPoint->setFill(QColor(colour.red, colour.green, colour.blue));
}

void Form1::LeaveMapView() {
    if (!chkGps->isChecked()) return;
    chkGps->setChecked(false);
    shPoint->hide();
    Pic1->Cls();
    Pic1->show();
}

void Form1::chkGps_Click() {
    if (chkGps->isChecked()) {
        SetFormat(1);
        if (!state.mapPicture.isNull()) DrawMapWindow();
        ShowPos();
        shPoint->show();
        return;
    }
    Pic1->Cls();
    Pic1->show();
    shPoint->hide();
    SetFormat(state.picFormat);
    if (!state.playing && streamFile.isOpen()) {
        // Reading goes on with the picture header: the sentence is parsed again and the
        // picture still in the frame buffer is decoded.
        std::uint8_t last = 0;
        streamFile.readAt(state.picturePos, last);
        if (FindPicStart(1)) ShowPic();
    }
}

}  // namespace droskal
