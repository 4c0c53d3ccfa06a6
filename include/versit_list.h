/*
 * versit_list.h - Ordered lists of identified cells (the KL_List family).
 */
#ifndef VERSIT_LIST_H
#define VERSIT_LIST_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

VERSIT_END_DECLS

#endif /* VERSIT_LIST_H */
