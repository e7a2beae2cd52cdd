// Pictures of every page of an analysis window and of the about dialog, for documentation and
// for checking the look without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace ramovia::ui {

// Opens each file, computes coefficient A under neighbor-joining, runs 100 bootstrap replicates
// and writes one PNG per page into dir, plus the frame and the about dialog. Returns an exit code.
int writeScreenshots(const QString& dir, const QStringList& files);

}  // namespace ramovia::ui
