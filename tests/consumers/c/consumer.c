/* A C program built against an installed versit through pkg-config. */
#include <stdio.h>
#include <versit_core.h>

int main(void) {
    vValue *v = VLIB_new_vValue(VLIB_TYPE_TEXT, "installed", -1, NULL);
    if (v == NULL || v->dataSize != 10) return 1;
    printf("%s\n", v->data);
    VLIB_destroy_vValue(&v);
    return VLIB_identifyToken("QUOTED-PRINTABLE", VLIB_CLASS_ENCODING) ==
                   VLIB_ENCODING_QUOTED_PRINTABLE
               ? 0
               : 1;
}
