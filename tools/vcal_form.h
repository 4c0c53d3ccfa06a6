// An item as the reader hands it out, made fit for the writer: the two
// sides of the library keep some fields in different forms.
#pragma once

#include <cstdint>

#include "versit_vcal.h"

// Rewrites `item` (type VCAL_ITEM_EVENT or VCAL_ITEM_TODO), taken from an
// entity whose property lines start at `lines`, so that writing it and
// reading it back gives the same item:
//  - attachment and attendee values, joined by CR LF, are joined by
//    "*^?", each attendee value after a ":" (it is written right after
//    the ATTENDEE keyword); resources are separated by ";";
//  - an event's priority, counted from 0, is counted from 1 again;
//  - the first exception date moves into the record, where the writer
//    takes the first one from;
//  - the UID is taken from the entity's UID line (the reader does not);
//  - a flagged text that is empty, or only blanks and line breaks, loses
//    its flag, as the writer would write a line the reader refuses.
// 0 or VCAL_ERR_NO_MEMORY (the item still belongs to the caller).
int32_t toWriterForm(PropertyParam &item, uint16_t type, const PropertyNode *lines);
