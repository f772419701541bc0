#include "create/Progress.h"

#include <climits>

namespace parcelon {

int ProgressPercentage(long long done, long long total) {
    if (total <= 0) return 100;
    const double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    if (percent >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(percent);
}

} // namespace parcelon
