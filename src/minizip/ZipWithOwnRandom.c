/* minizip's zip.c, compiled with one change: where the random bytes of an
 * encryption header come from.
 *
 * crypt.h's crypthead, run for every encrypted entry, seeds the C runtime's
 * generator with srand(time) the first time it runs and then draws from
 * rand(). That generator belongs to the host: the first encrypted entry
 * would reset the host's own rand() sequence, and the host's seeding would
 * decide our headers. Here srand does nothing and each rand() reads the
 * system's random source afresh (RandomSource.cpp), sharing nothing with
 * the host or between threads.
 *
 * What crypthead still shares is its static call counter, which only
 * decided when to seed and so decides nothing now; ThreadSanitizer is told
 * about that one counter (tests/tsan/suppressions.txt).
 */
#include <stdlib.h>
#include <time.h>

int parcelon_random_int(void);

#define srand(seed) ((void)(seed))
#define rand() parcelon_random_int()

#include "zip.c"
