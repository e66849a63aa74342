#include "cli/Progress.h"

#include <algorithm>

namespace droskal::cli {

Progress::Progress(std::ostream& err, bool enabled, std::string label)
    : err_(err), enabled_(enabled), label_(std::move(label)), start_(Clock::now()) {}

Progress::~Progress() {
    finish();
}

void Progress::update(double fraction, const std::string& detail) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    constexpr int kWidth = 40;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kWidth);
    std::string line = label_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
                       std::to_string(static_cast<int>(fraction * 100)) + "%" +
                       (detail.empty() ? "" : "  " + detail);
    const std::size_t drawn = line.size();
    if (drawn < width_) line.append(width_ - drawn, ' ');
    width_ = std::max(width_, drawn);
    err_ << '\r' << line << std::flush;
}

void Progress::finish() {
    if (!shown_) return;
    shown_ = false;
    err_ << '\r' << std::string(std::max(width_, label_.size() + 50), ' ') << '\r' << std::flush;
}

}  // namespace droskal::cli
