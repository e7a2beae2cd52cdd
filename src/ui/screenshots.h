// Pictures of every page of an analysis window and of the about dialog, for documentation and
// for checking the look without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace ramovia::ui {

// Opens each file, computes coefficient A under neighbor-joining, runs 100 bootstrap replicates
// and writes into dir the frame as the file opened, one PNG per page and the drawn reference
// tree, then the frame and the about dialog. "--dark" among the files paints everything in a
// dark palette; QT_SCALE_FACTOR scales it. Returns an exit code.
int writeScreenshots(const QString& dir, const QStringList& files);

}  // namespace ramovia::ui
