#include "stream/Fragment.h"

#include <algorithm>
#include <vector>

namespace droskal {

namespace {
constexpr std::int64_t kHeaderBytes = 20;
constexpr std::int64_t kBytesBeforeStartCode = 11;
constexpr std::int64_t kCopyChunk = 4 * 1024 * 1024;  // fragments may be gigabytes long
}  // namespace

FragmentPlan PlanFragment(std::int64_t cutStart, std::int64_t cutEnd, std::int64_t fileLength) {
    FragmentPlan plan;
    plan.headerBytes = std::min(kHeaderBytes, std::max<std::int64_t>(fileLength, 0));
    plan.from = std::max<std::int64_t>(1, cutStart - kBytesBeforeStartCode);
    plan.count = std::max<std::int64_t>(0, cutEnd - plan.from + 1);
    return plan;
}

bool CopyFragment(StreamFile& file, std::int64_t cutStart, std::int64_t cutEnd,
                  const std::function<bool(const std::uint8_t*, std::size_t, std::string&)>& sink,
                  std::string& error) {
    const FragmentPlan plan = PlanFragment(cutStart, cutEnd, file.length());
    std::vector<std::uint8_t> buffer;
    const auto copy = [&](std::int64_t from, std::int64_t count) {
        while (count > 0) {
            const std::int64_t n = std::min(count, kCopyChunk);
            buffer.resize(static_cast<std::size_t>(n));
            if (file.readBlock(from, n, buffer.data()) != n) {
                error = "the recording ends before the marked stretch";
                return false;
            }
            if (!sink(buffer.data(), buffer.size(), error)) return false;
            from += n;
            count -= n;
        }
        return true;
    };
    return copy(1, plan.headerBytes) && copy(plan.from, plan.count);
}

}  // namespace droskal
