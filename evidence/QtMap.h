#pragma once

// The pack's map pictures drawn from the map sources: the route for the report and the inset
// for the clip.

#include <QImage>
#include <QStringList>

#include <functional>
#include <memory>

#include "config/IniFile.h"
#include "evidence/Pack.h"
#include "timeline/Units.h"

namespace droskal::evidence {

// Where the pack's maps come from, as the window or the command line has them set up.
struct PackMapSetup {
    QStringList chosen;   // named for this run (on the command line): tile servers allowed
    QStringList entries;  // the saved sources, one each as MakeSource reads them
    bool online = false;  // whether the saved tile servers may be asked
    QImage classic;       // the window's map.gif, when it has one
    MapCalibration classicCalibration;
    SpeedUnit unit = SpeedUnit::Kmh;  // the route legend's
};

// Makes the sources once to see which can be used, naming the others in `problems`. False
// when none can: there is no map to draw.
bool AnyMapSource(const PackMapSetup& setup, QStringList& problems);

// The pack's maps. The sources are made anew on the thread that builds the pack, since tile
// caches and network access belong to one thread.
std::function<std::unique_ptr<PackMaps>()> PackMapsFrom(PackMapSetup setup);

}  // namespace droskal::evidence
