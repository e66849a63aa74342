#pragma once

#include <QStringList>

#include <memory>

#include "app/Desktop.h"
#include "app/Form1.h"

namespace droskal {

// How the program was started, from its argument list: the arguments joined with single
// blanks form the one file name (a single argument is taken exactly, quotes included), the
// executable's folder holds Droskal.ini and map.gif (or its ../share/droskal does), and its
// file name without extension names the settings.
StartupInfo StartupFromArguments(const QStringList& arguments, const QString& executablePath);

// Creates the window, runs its start-up and shows it: what the program does before it
// waits for events.
std::unique_ptr<Form1> StartViewer(Desktop& desktop, const StartupInfo& startup);

}  // namespace droskal
