/* ParcelonC.h compiles as strict C89, with every warning an error. */
#include <ParcelonC.h>

int parcelon_c89_header_check(void);
int parcelon_c89_header_check(void) {
    parcelon_progress_fn fn = 0;
    (void)fn;
    return PARCELON_OK + PARCELON_E_INVALID_ARGUMENT;
}
