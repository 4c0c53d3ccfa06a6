/* libical's vCard/vCalendar reader (libicalvcal) as a whole process, for
 * the side-by-side run; only its public headers are used:
 *   peer_libical parse|each|convert|convert-each|ical FILE
 * parse: Parse_MIME of the whole text into its object list; each: one
 * Parse_MIME per top-level object (the text cut before every line that
 * starts "BEGIN:VCARD" or "BEGIN:VCALENDAR"), because the reader gives up
 * on a text of a few hundred cards and slows down more than linearly well
 * before that; convert: parse and icalvcal_convert of every object into
 * libical's calendar components; convert-each: each and the same
 * conversion, object by object (the peer's fastest way to calendar
 * objects); ical: convert and each component written as iCalendar text
 * (the peer of `versit convert --to ical`). */
#include <libical/ical.h>
#include <libical/icalvcal.h>
#include <libical/vcc.h>

#include "peer_common.h"

/* Events and to-dos inside a calendar, or 1 for any other object (a
 * card), so the count compares with what the other programs report. */
static unsigned long long countItems(VObject *object) {
    const char *name = vObjectName(object);
    if (name == NULL || strcmp(name, "VCALENDAR") != 0) return 1;
    unsigned long long n = 0;
    VObjectIterator i;
    initPropIterator(&i, object);
    while (moreIteration(&i)) {
        const char *inner = vObjectName(nextVObject(&i));
        n += inner != NULL && (strcmp(inner, "VEVENT") == 0 || strcmp(inner, "VTODO") == 0);
    }
    return n;
}

/* The objects Parse_MIME hands back are chained; the chain may come back
 * to its head, so the walk stops there too. */
static unsigned long long countObjects(VObject *list) {
    unsigned long long n = 0;
    for (VObject *o = list; o != NULL; o = nextVObjectInList(o)) {
        n += countItems(o);
        if (nextVObjectInList(o) == list) break;
    }
    return n;
}

static unsigned long long convertObjects(VObject *list, int write) {
    unsigned long long items = 0;
    for (VObject *o = list; o != NULL; o = nextVObjectInList(o)) {
        icalcomponent *calendar = icalvcal_convert(o);
        if (calendar != NULL) {
            items +=
                (unsigned long long)icalcomponent_count_components(calendar, ICAL_ANY_COMPONENT);
            if (write) free(icalcomponent_as_ical_string_r(calendar));
            icalcomponent_free(calendar);
        }
        if (nextVObjectInList(o) == list) break;
    }
    return items;
}

static int startsObject(const char *at, const char *end) {
    static const char card[] = "BEGIN:VCARD";
    static const char calendar[] = "BEGIN:VCALENDAR";
    const size_t left = (size_t)(end - at);
    return (left >= sizeof card - 1 && memcmp(at, card, sizeof card - 1) == 0) ||
           (left >= sizeof calendar - 1 && memcmp(at, calendar, sizeof calendar - 1) == 0);
}

/* The start of the next object after `from` (a line start), or `end`. */
static const char *nextObject(const char *from, const char *end) {
    const char *at = from;
    while ((at = (const char *)memchr(at, '\n', (size_t)(end - at))) != NULL) {
        ++at;
        if (startsObject(at, end)) return at;
    }
    return end;
}

/* Objects read one Parse_MIME call each, and converted too when
 * `convert`; -1 when one of them failed. */
static long long parseEach(const char *text, size_t size, int convert) {
    const char *end = text + size;
    long long objects = 0;
    for (const char *at = startsObject(text, end) ? text : nextObject(text, end); at < end;) {
        const char *next = nextObject(at, end);
        VObject *list = Parse_MIME(at, (unsigned long)(next - at));
        if (list == NULL) return -1;
        objects += (long long)(convert ? convertObjects(list, 0) : countObjects(list));
        cleanVObjects(list);
        at = next;
    }
    return objects;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: peer_libical parse|each|convert|convert-each|ical FILE\n");
        return 2;
    }
    const char *mode = argv[1];
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    const double start = peerNow();
    const int each = strcmp(mode, "each") == 0;
    if (each || strcmp(mode, "convert-each") == 0) {
        const long long objects = parseEach(text, size, !each);
        const double seconds = peerNow() - start;
        if (objects < 0) {
            fprintf(stderr, "peer_libical: Parse_MIME failed on an object\n");
            return 1;
        }
        peerReport((unsigned long long)objects, seconds,
                   each ? "Parse_MIME of each object"
                        : "Parse_MIME and icalvcal_convert of each object");
        peerRelease(text, size);
        return 0;
    }
    VObject *list = Parse_MIME(text, (unsigned long)size);
    unsigned long long items = 0;
    const char *what = NULL;
    if (strcmp(mode, "parse") == 0) {
        items = countObjects(list);
        what = "Parse_MIME";
    } else if (strcmp(mode, "convert") == 0) {
        items = convertObjects(list, 0);
        what = "Parse_MIME and icalvcal_convert";
    } else if (strcmp(mode, "ical") == 0) {
        items = convertObjects(list, 1);
        what = "Parse_MIME, icalvcal_convert and iCalendar text";
    } else {
        fprintf(stderr, "peer_libical: unknown mode %s\n", mode);
        return 2;
    }
    if (list != NULL) cleanVObjects(list);
    const double seconds = peerNow() - start;
    if (list == NULL) {
        fprintf(stderr, "peer_libical: Parse_MIME read nothing\n");
        return 1;
    }
    peerReport(items, seconds, what);
    peerRelease(text, size);
    return 0;
}
