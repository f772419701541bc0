/* Prints parcelon_entry's layout as this platform's C compiler lays it out:
 * "sizeof N", then "field offset" for each field in declaration order. The
 * bindings' tests read these lines and compare their own record with them,
 * so a binding that gets a size_t, the 32/64-bit unsigned long or an
 * alignment wrong fails before it misreads a listing. */
#include <stddef.h>
#include <stdio.h>

#include <ParcelonC.h>

#define FIELD(name) printf("%s %lu\n", #name, (unsigned long)offsetof(parcelon_entry, name))

int main(void) {
    printf("sizeof %lu\n", (unsigned long)sizeof(parcelon_entry));
    FIELD(index);
    FIELD(name);
    FIELD(size);
    FIELD(compressed_size);
    FIELD(crc32);
    FIELD(method);
    FIELD(encrypted);
    FIELD(is_folder);
    FIELD(mtime);
    return 0;
}
