#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace droskal::cli {

// A one-line progress bar on the error stream. It appears only for work that has already
// taken a second, so quick runs and pipes stay clean; the caller decides whether the stream
// is a terminal.
class Progress {
  public:
    Progress(std::ostream& err, bool enabled, std::string label);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `detail` follows the bar (counts, rate, time left).
    void update(double fraction, const std::string& detail = {});
    // Clears the bar so that messages after it start on a clean line.
    void finish();

  private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    std::size_t width_ = 0;  // of the longest line drawn
    std::string label_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace droskal::cli
