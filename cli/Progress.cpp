#include "cli/Progress.h"

#include <algorithm>

namespace droskal::cli {

Progress::Progress(std::ostream& err, bool enabled, std::string label)
    : err_(err), enabled_(enabled), label_(std::move(label)), start_(Clock::now()) {}

Progress::~Progress() { finish(); }

void Progress::update(double fraction) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    constexpr int kWidth = 40;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kWidth);
    err_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] "
         << static_cast<int>(fraction * 100) << "%" << std::flush;
}

void Progress::finish() {
    if (!shown_) return;
    shown_ = false;
    err_ << '\r' << std::string(label_.size() + 50, ' ') << '\r' << std::flush;
}

}  // namespace droskal::cli
