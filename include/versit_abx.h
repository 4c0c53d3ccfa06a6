/*
 * versit_abx.h - Address-book exchange: the client's address-book entries to vCards and back.
 */
#ifndef VERSIT_ABX_H
#define VERSIT_ABX_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

VERSIT_END_DECLS

#endif /* VERSIT_ABX_H */
