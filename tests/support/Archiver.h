// An archiver of the C interface, freed on every way out of a test.
#ifndef PARCELON_TEST_ARCHIVER_H
#define PARCELON_TEST_ARCHIVER_H

#include "ParcelonC.h"

namespace testing_support {

struct Archiver {
    parcelon_archiver* a = parcelon_new();
    Archiver() = default;
    ~Archiver() { parcelon_free(a); }
    Archiver(const Archiver&) = delete;
    Archiver& operator=(const Archiver&) = delete;
    operator parcelon_archiver*() const { return a; }
};

} // namespace testing_support

#endif // PARCELON_TEST_ARCHIVER_H
