// Every property of a card and of the cards nested in it, depth first and
// without recursion: the parent links the import sets lead back up.
#pragma once

#include "versit_core.h"

namespace interop {

// Calls `visit(property)` for each; stops at the first false and returns
// it.
template <class Visit> bool forEachProperty(vComponent *card, Visit visit) {
    vComponent *c = card;
    for (;;) {
        for (vProperty *p = c->propertyList; p != nullptr; p = p->next) {
            if (!visit(p)) return false;
        }
        if (c->subComponent != nullptr) {
            c = c->subComponent;
            continue;
        }
        while (c != card && c->next == nullptr)
            c = c->parent;
        if (c == card) return true;
        c = c->next;
    }
}

} // namespace interop
