/* The allocator infback9 falls back on when its caller gives none (as the
   Deflate64 decoder does). zlib's own, zcalloc and zcfree, stays inside
   libz, so cmake/ParcelonCodecs.cmake compiles infback9 and this file with
   those two names turned into infback9_default_zcalloc and
   infback9_default_zcfree. */
#include <stdlib.h>

#include "zutil.h"

voidpf ZLIB_INTERNAL zcalloc(voidpf opaque, unsigned items, unsigned size) {
    (void)opaque;
    return calloc(items, size);
}

void ZLIB_INTERNAL zcfree(voidpf opaque, voidpf address) {
    (void)opaque;
    free(address);
}
