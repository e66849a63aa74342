#pragma once

#include <QStringList>

namespace droskal::cli {

// The map sources a command uses without --source: map.gif beside the program, then the
// window's saved sources. `online`: whether the window allows its tile servers.
QStringList DefaultMapEntries(bool& online);

}  // namespace droskal::cli
