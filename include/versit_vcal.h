/*
 * versit_vcal.h - vCalendar 1.0: parse trees, the stream reader and writer, calendar item records.
 */
#ifndef VERSIT_VCAL_H
#define VERSIT_VCAL_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

VERSIT_END_DECLS

#endif /* VERSIT_VCAL_H */
