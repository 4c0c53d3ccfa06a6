/* The public headers compile on their own as C, and the records keep the
 * field order of the interface. */
#include "calapi32.h"
#include "versit_abx.h"
#include "versit_convert.h"
#include "versit_core.h"
#include "versit_dates.h"
#include "versit_export.h"
#include "versit_interop.h"
#include "versit_list.h"
#include "versit_result.h"
#include "versit_vcal.h"
#include "versit_vcard.h"

#include <stddef.h>
#include <stdio.h>

_Static_assert(sizeof(ABEntryRecord) == 3129, "ABEntryRecord is byte-packed");
_Static_assert(offsetof(ABEntryRecord, emailKind) == 3123, "ABEntryRecord layout");

#if UINTPTR_MAX == 0xFFFFFFFFu
_Static_assert(sizeof(vComponent) == 28, "vComponent is seven 32-bit fields");
_Static_assert(sizeof(vProperty) == 32, "vProperty is eight 32-bit fields");
_Static_assert(sizeof(vParameter) == 20, "vParameter is five 32-bit fields");
_Static_assert(sizeof(vValue) == 20, "vValue is five 32-bit fields");
#endif

int main(void) {
    int failures = 0;
    vValue *v = VLIB_new_vValue(VLIB_TYPE_TEXT, "abc", -1, NULL);
    if (v == NULL || v->dataSize != 4) failures++;
    VLIB_destroy_vValue(&v);
    if (v != NULL) failures++;
    if (VLIB_ERR_NO_MEMORY != 0x1850C || VCARD_ERR_NO_CARD != 0x18D22 || VCAL_ERR_BAD_YEAR != 95796)
        failures++;
    if (offsetof(vProperty, name) != 0) failures++;
    if (failures) fprintf(stderr, "%d failures\n", failures);
    return failures != 0;
}
