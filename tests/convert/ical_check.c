/* An independent check of iCalendar text: libical parses it, its
 * restriction check runs on every VCALENDAR, and each VEVENT or VTODO is
 * printed on one line as libical reads it, so that what our converter
 * writes can be compared with what our own reader made of the source:
 *
 *   VEVENT 20240102T030405Z [occurrences ...]
 *
 * DTSTART in UTC (a TZID resolved against the file's VTIMEZONEs; floating
 * times and dates as they are, "-" when there is none). With --expand,
 * the occurrences of the item's RRULE within a year of its start follow,
 * as libical expands them, in UTC as well.
 *
 * usage: ical_check [--expand] [FILE]   (standard input without FILE)
 * Exit 1, with a message on standard error, when the text does not parse,
 * a restriction fails or libical marks a property with X-LIC-ERROR. */
#include <libical/ical.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* libical's line reader over a file. */
static char *readLine(char *line, size_t size, void *file) {
    return fgets(line, (int)size, (FILE *)file);
}

/* Counts X-LIC-ERROR properties anywhere below `c`, naming each. */
static int errorsIn(icalcomponent *c) {
    int errors = 0;
    for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p != NULL;
         p = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY)) {
        fprintf(stderr, "ical_check: %s: %s\n", icalcomponent_kind_to_string(icalcomponent_isa(c)),
                icalproperty_get_xlicerror(p));
        ++errors;
    }
    for (icalcomponent *s = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); s != NULL;
         s = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        errors += errorsIn(s);
    return errors;
}

/* A time in UTC when it has a zone or is UTC; as it is when floating or a
 * date. */
static const char *asUtc(struct icaltimetype t, char *buffer, size_t size) {
    if (icaltime_is_null_time(t)) return "-";
    if (!icaltime_is_date(t) && (icaltime_is_utc(t) || t.zone != NULL)) {
        t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
    }
    snprintf(buffer, size, "%s", icaltime_as_ical_string(t));
    return buffer;
}

/* A time of `p` with its TZID resolved against the calendar's VTIMEZONEs. */
static struct icaltimetype inZone(icalcomponent *calendar, icalproperty *p, struct icaltimetype t) {
    icalparameter *tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    if (tzid != NULL && !icaltime_is_utc(t)) {
        icaltimezone *zone = icalcomponent_get_timezone(calendar, icalparameter_get_tzid(tzid));
        if (zone != NULL) t = icaltime_set_timezone(&t, zone);
    }
    return t;
}

static struct icaltimetype startOf(icalcomponent *calendar, icalcomponent *item) {
    icalproperty *p = icalcomponent_get_first_property(item, ICAL_DTSTART_PROPERTY);
    return p == NULL ? icaltime_null_time() : inZone(calendar, p, icalproperty_get_dtstart(p));
}

/* The rule's occurrences in the year from the start, then every RDATE,
 * then every EXDATE marked "-": the comparison takes the set. */
static void expand(icalcomponent *calendar, icalcomponent *item, struct icaltimetype start) {
    char buffer[64];
    icalproperty *rule = icalcomponent_get_first_property(item, ICAL_RRULE_PROPERTY);
    if (rule != NULL) {
        struct icalrecurrencetype recur = icalproperty_get_rrule(rule);
        icalrecur_iterator *it = icalrecur_iterator_new(recur, start);
        if (it == NULL) {
            fprintf(stderr, "ical_check: libical cannot expand %s\n",
                    icalrecurrencetype_as_string(&recur));
            return;
        }
        struct icaltimetype limit = start;
        limit.year += 1;
        for (struct icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it)) {
            if (icaltime_compare(t, limit) >= 0) break;
            printf(" %s", asUtc(t, buffer, sizeof buffer));
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty *p = icalcomponent_get_first_property(item, ICAL_RDATE_PROPERTY); p != NULL;
         p = icalcomponent_get_next_property(item, ICAL_RDATE_PROPERTY)) {
        const struct icaldatetimeperiodtype d = icalproperty_get_rdate(p);
        const struct icaltimetype t = icaltime_is_null_time(d.time) ? d.period.start : d.time;
        printf(" %s", asUtc(inZone(calendar, p, t), buffer, sizeof buffer));
    }
    for (icalproperty *p = icalcomponent_get_first_property(item, ICAL_EXDATE_PROPERTY); p != NULL;
         p = icalcomponent_get_next_property(item, ICAL_EXDATE_PROPERTY)) {
        printf(" -%s",
               asUtc(inZone(calendar, p, icalproperty_get_exdate(p)), buffer, sizeof buffer));
    }
}

int main(int argc, char **argv) {
    int expandRules = 0;
    const char *path = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--expand") == 0)
            expandRules = 1;
        else if (path == NULL && argv[i][0] != '-')
            path = argv[i];
        else {
            fprintf(stderr, "usage: ical_check [--expand] [FILE]\n");
            return 2;
        }
    }
    FILE *in = path != NULL ? fopen(path, "rb") : stdin;
    if (in == NULL) {
        perror(path);
        return 2;
    }
    icalparser *parser = icalparser_new();
    icalcomponent *root = NULL;
    if (parser != NULL) {
        icalparser_set_gen_data(parser, in);
        root = icalparser_parse(parser, readLine);
        icalparser_free(parser);
    }
    if (in != stdin) fclose(in);
    if (root == NULL) {
        fprintf(stderr, "ical_check: libical could not parse the text\n");
        return 1;
    }
    int failed = 0;
    /* One calendar parses as itself; several come wrapped in an XROOT. */
    icalcomponent *first = icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT
                               ? root
                               : icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
    for (icalcomponent *cal = first; cal != NULL;
         cal = cal == root ? NULL
                           : icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT)) {
        if (!icalrestriction_check(cal)) {
            fprintf(stderr, "ical_check: a calendar fails libical's restriction check\n");
            failed = 1;
        }
        if (errorsIn(cal) > 0) failed = 1;
        for (icalcomponent *item = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT);
             item != NULL; item = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(item);
            if (kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTODO_COMPONENT) continue;
            char buffer[64];
            const struct icaltimetype start = startOf(cal, item);
            printf("%s %s", kind == ICAL_VEVENT_COMPONENT ? "VEVENT" : "VTODO",
                   asUtc(start, buffer, sizeof buffer));
            if (expandRules && !icaltime_is_null_time(start)) expand(cal, item, start);
            printf("\n");
        }
    }
    if (first == NULL) {
        fprintf(stderr, "ical_check: no VCALENDAR\n");
        failed = 1;
    }
    icalcomponent_free(root);
    return failed;
}
