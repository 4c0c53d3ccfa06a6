// Arbitrary bytes through the vCalendar reader, one byte per callback call
// as a client delivers them. Whatever the input, nothing may fault or
// leak, and the tree and texts handed back must be well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "support/memory_source.h"
#include "versit_vcal.h"

namespace {

int32_t progress(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }

// A handed-out text is a run of lines, each ending in CR LF.
void checkText(const char *text) {
    if (text == nullptr) return;
    const size_t n = std::strlen(text);
    check(n >= 2 && text[n - 2] == '\r' && text[n - 1] == '\n');
}

template <class Entity> size_t checkEntities(const Entity *entity) {
    size_t n = 0;
    for (; entity != nullptr; entity = entity->next, ++n) {
        check(entity->valid == 1);
        for (const PropertyNode *p = entity->properties; p != nullptr; p = p->next) {
            check(p->propertyId >= 1 && p->propertyId <= VCAL_PROPERTY_COUNT);
            check(p->line != nullptr && std::strchr(p->line, '\n') == nullptr);
        }
        char date[17];
        uint8_t found = 0;
        check(vCal_GetOriginalDateString(entity, VCAL_ITEM_EVENT, VCAL_PROP_DTSTART, date,
                                         sizeof date, &found) == 0);
        check(found == 0 || std::strlen(date) <= 16);
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    MemorySource source(data, size);
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    uint32_t lines = 10;
    uint8_t versionOk = 0;
    char version[9];
    const int32_t rc =
        vCal_ParseTreeFromStreamGet(&tree, &source, MemorySource::next, &errors, &warnings,
                                    progress, &lines, &versionOk, version, 0);
    checkText(errors);
    checkText(warnings);
    check(std::strlen(version) <= 8);
    const bool kept = rc == 0 || rc == VCAL_ERR_READ_WITH_ERRORS || rc == VCAL_ERR_UNRECOVERABLE ||
                      rc == VCAL_ERR_UNTERMINATED;
    check(kept == (tree != nullptr));
    if (rc == 0) check(errors == nullptr);
    if (rc == VCAL_ERR_READ_WITH_ERRORS || rc == VCAL_ERR_UNRECOVERABLE) check(errors != nullptr);
    if (tree != nullptr) {
        size_t events = 0;
        size_t todos = 0;
        VCalendarNode *c = nullptr;
        for (int32_t got = vCal_GetFirstCalendar(tree, &c); got == 0;
             got = vCal_GetNextCalendar(tree, &c)) {
            const size_t e = checkEntities(c->events);
            const size_t t = checkEntities(c->todos);
            check(c->eventCount == static_cast<uint16_t>(e));
            check(c->todoCount == static_cast<uint16_t>(t));
            events += e;
            todos += t;
        }
        check(tree->eventsKept == static_cast<uint16_t>(events));
        check(tree->todosKept == static_cast<uint16_t>(todos));
        check(vCal_AnyValidEntityInPTree(tree) == (events + todos > 0 ? 1 : 0));
        check(vCal_DestroyParseTree(&tree) == 0 && tree == nullptr);
    }
    std::free(errors);
    std::free(warnings);
    return 0;
}
