/*
 * versit_vcard.h - vCard interface: contexts, token tables, cards, properties and parameters by
 * token code.
 */
#ifndef VERSIT_VCARD_H
#define VERSIT_VCARD_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

VERSIT_END_DECLS

#endif /* VERSIT_VCARD_H */
