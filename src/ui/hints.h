// The texts that explain the window: the hints of the coefficients and the resampling methods,
// and what the status bar says during a run. No widgets here.
#pragma once

#include <optional>
#include <string>

#include "analysis/resampling.h"
#include "distance/coefficient.h"

namespace ramovia::ui {

// The formula's name and whether it gives a similarity or a distance.
std::string coefficientHint(Coefficient c);
// What the method perturbs in each replicate.
std::string resamplingHint(Resampling m);

// The rate of a run from the positions it reports: replicates per second since the first report.
class RunRate {
 public:
  // A position reported this many seconds after the run started.
  void report(int position, double seconds);
  std::optional<double> perSecond() const;
  int position() const { return last_; }

 private:
  int first_ = -1, last_ = 0;
  double firstSeconds_ = 0.0, lastSeconds_ = 0.0;
};

// "Replicate 37 of 100, 512 replicates/s, about 2 s left"; the rate and the time left once
// known.
std::string runProgressText(int replicate, int replicates, std::optional<double> perSecond);
// "45 s", "3 min 05 s", "2 h 07 min".
std::string durationText(double seconds);

}  // namespace ramovia::ui
