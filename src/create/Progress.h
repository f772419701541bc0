#ifndef PARCELON_PROGRESS_H
#define PARCELON_PROGRESS_H

namespace parcelon {

// Whole percentage of done against total: the double quotient times 100,
// truncated (29 of 100 gives 28.999999999999996, so 28). Files that grew
// after they were measured give values above 100, reported as computed;
// with a total of 0 nothing is known about the share, so written bytes
// count as all of it (100).
int ProgressPercentage(long long done, long long total);

} // namespace parcelon

#endif // PARCELON_PROGRESS_H
