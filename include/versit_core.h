/*
 * versit_core.h - the versit object model, symbol tables and tokens.
 *
 * A versit text (a vCard, a vCalendar) is held as a tree of four plain
 * records: a vComponent (one BEGIN/END block) holds vProperty records (one
 * content line each), a property holds vParameter records and vValue
 * records, a parameter holds vValue records. Lists are chained through
 * `next`; an empty list is a null pointer.
 *
 * Ownership: every string and list reached through an owning field belongs
 * to the record that holds it. A record owns the records that follow it in
 * its `next` chain, so destroying the head of a chain destroys the chain.
 * Everything is allocated with malloc and released with free; records
 * handed to a caller are the caller's to destroy.
 */
#ifndef VERSIT_CORE_H
#define VERSIT_CORE_H

#include <stdint.h>
#include <stdio.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

/* ------------------------------------------------------------------------
 * Token codes. Bits 8 to 11 of a code give its class.
 */
#define VLIB_CLASS_VALUE_TYPE 0x100
#define VLIB_CLASS_PROPERTY 0x200
#define VLIB_CLASS_PARAMETER 0x300
#define VLIB_CLASS_COMPONENT 0x400
#define VLIB_CLASS_ENCODING 0x500

#define VLIB_TOKEN_NONE 0                /* no match; unrecognised word */
#define VLIB_ENCODING_DEFAULT 1          /* no ENCODING parameter */
#define VLIB_DATATYPE_UNRESOLVED 0x100   /* not looked up yet */
#define VLIB_DATATYPE_DEFAULT 0x101      /* no VALUE parameter */
#define VLIB_PROPERTY_UNIDENTIFIED 0x200 /* as parsed */
#define VLIB_PARAMETER_NAMED 0x300       /* name=value */
#define VLIB_PARAMETER_BARE 0x301        /* a bare word */
#define VLIB_COMPONENT_UNIDENTIFIED 0x400
#define VLIB_ENCODING_UNESCAPED 0x507 /* quotes removed, escapes resolved */

/* Value types */
#define VLIB_TYPE_DATE 0x103
#define VLIB_TYPE_DATE_TIME 0x104
#define VLIB_TYPE_DURATION 0x105
#define VLIB_TYPE_FLOAT 0x106
#define VLIB_TYPE_INTEGER 0x107
#define VLIB_TYPE_PERIOD 0x108
#define VLIB_TYPE_TEXT 0x109
#define VLIB_TYPE_TIME 0x10A
#define VLIB_TYPE_URL 0x10B
#define VLIB_TYPE_UTC_OFFSET 0x10C
#define VLIB_TYPE_BOOLEAN 0x10D
#define VLIB_TYPE_CAL_ADDRESS 0x10E

/* Parameters */
#define VLIB_PARAM_CHARSET 0x303
#define VLIB_PARAM_LANGUAGE 0x304
#define VLIB_PARAM_ENCODING 0x305
#define VLIB_PARAM_VALUE 0x306

/* Components */
#define VLIB_COMP_ICALENDAR 0x404
#define VLIB_COMP_VCALENDAR 0x405
#define VLIB_COMP_VEVENT 0x40A
#define VLIB_COMP_VTODO 0x40B
#define VLIB_COMP_VJOURNAL 0x40C
#define VLIB_COMP_VALARM 0x40D
#define VLIB_COMP_VTIMEZONE 0x40E
#define VLIB_COMP_VFREEBUSY 0x40F

/* Encodings */
#define VLIB_ENCODING_BASE64 0x503
#define VLIB_ENCODING_7BIT 0x504
#define VLIB_ENCODING_8BIT 0x505
#define VLIB_ENCODING_QUOTED_PRINTABLE 0x506

/* ------------------------------------------------------------------------
 * The four records. Field order is part of the interface.
 */
typedef struct vComponent vComponent;
typedef struct vProperty vProperty;
typedef struct vParameter vParameter;
typedef struct vValue vValue;

struct vComponent {
    char *name;               /* word after BEGIN:, never null */
    int32_t componentType;    /* token code; 0x400 as parsed */
    void *extraData;          /* the caller's; freed with the component */
    vProperty *propertyList;  /* own properties (owned) */
    vComponent *subComponent; /* first nested component (owned) */
    vComponent *next;         /* following sibling (owned by the chain) */
    vComponent *parent;       /* enclosing component, not owned */
};

struct vProperty {
    char *name;                  /* as written, group prefix included */
    int32_t propertyType;        /* token code; 0x200 as parsed */
    int32_t encoding;            /* cached ENCODING code, 0 = not resolved */
    int32_t datatype;            /* cached VALUE code, 0x100 = not resolved */
    vValue *valueList;           /* owned */
    vParameter *parameterList;   /* owned */
    vProperty *next;             /* owned by the chain */
    vComponent *parentComponent; /* not owned */
};

struct vParameter {
    char *name;                /* empty for a bare parameter */
    int32_t parameterType;     /* 0x300 named, 0x301 bare */
    vValue *valueList;         /* owned */
    vParameter *next;          /* owned by the chain */
    vProperty *parentProperty; /* not owned */
};

struct vValue {
    char *data;       /* owned; always followed by one extra NUL byte */
    int32_t dataType; /* token code; 0x100 as parsed */
    int32_t encoding; /* 0, 0x503 (from BASE64), 0x506 (from QP), 0x507 */
    int32_t dataSize; /* data bytes, see VLIB_new_vValue */
    vValue *next;     /* owned by the chain */
};

/* ------------------------------------------------------------------------
 * Constructors. Each copies `name` (null becomes "") and returns the new
 * record, or null after logging "Not enough core" when memory runs out.
 */

/* A component holding `propertyList` (whose parentComponent links are set
 * to it), `subComponent` and `next`; extraData and parent are null. */
VERSIT_API vComponent *VLIB_new_vComponent(int32_t componentType, const char *name,
                                           vProperty *propertyList, vComponent *subComponent,
                                           vComponent *next);

/* A property with encoding 0 and datatype 0x100; the parentProperty links of
 * `parameterList` are set to it. */
VERSIT_API vProperty *VLIB_new_vProperty(int32_t propertyType, const char *name, vValue *valueList,
                                         vParameter *parameterList, vProperty *next);

VERSIT_API vParameter *VLIB_new_vParameter(int32_t parameterType, const char *name,
                                           vValue *valueList, vParameter *next);

/* A value holding a copy of `data`:
 *   data null        -> "" with dataSize 0
 *   size >= 0        -> exactly `size` bytes, a NUL appended, dataSize = size
 *   size <  0        -> `data` as a C string, dataSize = strlen + 1 */
VERSIT_API vValue *VLIB_new_vValue(int32_t dataType, const void *data, int32_t size, vValue *next);

/* ------------------------------------------------------------------------
 * Copies. A copy shares no memory with its source. The encoding of values
 * and properties, the datatype of properties and the extraData of
 * components are not copied. Null in gives null out; so does running out
 * of memory, in which case nothing is leaked.
 */
VERSIT_API vValue *VLIB_dup_vValue(const vValue *value);
VERSIT_API vValue *VLIB_dup_vValue_recursive(const vValue *value);
VERSIT_API vParameter *VLIB_dup_vParameter(const vParameter *parameter);
VERSIT_API vParameter *VLIB_dup_vParameter_recursive(const vParameter *parameter);
VERSIT_API vProperty *VLIB_dup_vProperty(const vProperty *property);
VERSIT_API vProperty *VLIB_dup_vProperty_recursive(const vProperty *property);
/* One component with its properties; no subcomponents, next null. */
VERSIT_API vComponent *VLIB_dup_vComponent(const vComponent *component);
/* One component with its properties and, at every depth, its
 * subcomponents (in reverse order, as adding them would leave them). The
 * siblings that follow `component` are not copied. */
VERSIT_API vComponent *VLIB_dup_vComponent_recursive(const vComponent *component);

/* ------------------------------------------------------------------------
 * Destruction. Each takes the address of the caller's pointer, clears it,
 * then releases the record, all it owns and every record after it in its
 * chain. A null address or pointer does nothing.
 */
VERSIT_API void VLIB_destroy_vComponent(vComponent **component);
VERSIT_API void VLIB_destroy_vProperty(vProperty **property);
VERSIT_API void VLIB_destroy_vParameter(vParameter **parameter);
VERSIT_API void VLIB_destroy_vValue(vValue **value);

/* ------------------------------------------------------------------------
 * Linking. Each inserts one record at the head of a list (its own `next`
 * is overwritten) and sets its parent link, so a list built by adding
 * holds its records in reverse order. Each returns its first argument, or
 * null when either argument is null.
 */
VERSIT_API vComponent *VLIB_add_vComponent_property(vComponent *component, vProperty *property);
VERSIT_API vComponent *VLIB_add_vComponent_subcomponent(vComponent *component,
                                                        vComponent *subcomponent);
VERSIT_API vProperty *VLIB_add_vProperty_parameter(vProperty *property, vParameter *parameter);

/* Removes `property` from its list without knowing its predecessor. When a
 * property follows, its contents move into `property`'s record and that
 * same pointer is returned; when `property` is the last one it is
 * destroyed and null returned: the caller then clears the link that led
 * to it. */
VERSIT_API vProperty *VLIB_remove_vProperty(vProperty *property);

/* ------------------------------------------------------------------------
 * Setters. Each returns the record passed in (null for a null record).
 * List setters destroy the old list and take the new one as it is.
 * Name setters store a copy; when that copy cannot be made the record is
 * left unchanged and null is returned.
 */
VERSIT_API vProperty *VLIB_set_vProperty_valueList(vProperty *property, vValue *valueList);
VERSIT_API vProperty *VLIB_set_vProperty_parameterList(vProperty *property,
                                                       vParameter *parameterList);
VERSIT_API vParameter *VLIB_set_vParameter_valueList(vParameter *parameter, vValue *valueList);
VERSIT_API vComponent *VLIB_set_vComponent_name(vComponent *component, const char *name);
VERSIT_API vProperty *VLIB_set_vProperty_name(vProperty *property, const char *name);
VERSIT_API vParameter *VLIB_set_vParameter_name(vParameter *parameter, const char *name);
/* Replaces a value's text; dataSize is left as it was. */
VERSIT_API vValue *VLIB_set_vValue_value(vValue *value, const char *data);
VERSIT_API vComponent *VLIB_set_vComponent_parent(vComponent *component, vComponent *parent);
VERSIT_API vComponent *VLIB_set_vComponent_componentType(vComponent *component,
                                                         int32_t componentType);
VERSIT_API vProperty *VLIB_set_vProperty_propertyType(vProperty *property, int32_t propertyType);
VERSIT_API vParameter *VLIB_set_vParameter_parameterType(vParameter *parameter,
                                                         int32_t parameterType);
/* Sets the value's dataType. */
VERSIT_API vValue *VLIB_set_vValue_id(vValue *value, int32_t dataType);
VERSIT_API vProperty *VLIB_set_vProperty_datatype(vProperty *property, int32_t datatype);
VERSIT_API vValue *VLIB_set_vValue_encoding(vValue *value, int32_t encoding);
/* Stores a new head for the property list; the old list is NOT destroyed. */
VERSIT_API vComponent *VLIB_set_vComponent_propertyList(vComponent *component,
                                                        vProperty *propertyList);
/* Stores the property's `next` link (the name is historical). */
VERSIT_API vProperty *VLIB_set_vProperty_propertyList(vProperty *property, vProperty *next);
/* Frees the previous extraData and stores `extraData`.
 * 0, or VLIB_ERR_NULL_ARGUMENT for a null component. */
VERSIT_API int32_t VLIB_set_vComponent_extraData(vComponent *component, void *extraData);
/* 0, or VLIB_ERR_NULL_ARGUMENT when either argument is null. */
VERSIT_API int32_t VLIB_get_vComponent_extraData(const vComponent *component, void **extraData);

/* ------------------------------------------------------------------------
 * Getters. A null record gives null or 0, except: componentType 0x400,
 * propertyType 0x200, parameterType 0x300, value dataType 0x100 and
 * dataSize -1. Property encoding and datatype are the raw cached fields;
 * VLIB_getPropertyEncoding and VLIB_getPropertyDatatype resolve them.
 */
VERSIT_API char *VLIB_get_vComponent_name(const vComponent *component);
VERSIT_API int32_t VLIB_get_vComponent_componentType(const vComponent *component);
VERSIT_API vProperty *VLIB_get_vComponent_propertyList(const vComponent *component);
VERSIT_API vComponent *VLIB_get_vComponent_subComponent(const vComponent *component);
VERSIT_API vComponent *VLIB_get_vComponent_next(const vComponent *component);
VERSIT_API vComponent *VLIB_get_vComponent_parent(const vComponent *component);

VERSIT_API char *VLIB_get_vProperty_name(const vProperty *property);
VERSIT_API int32_t VLIB_get_vProperty_propertyType(const vProperty *property);
VERSIT_API int32_t VLIB_get_vProperty_encoding(const vProperty *property);
VERSIT_API int32_t VLIB_get_vProperty_datatype(const vProperty *property);
VERSIT_API vValue *VLIB_get_vProperty_valueList(const vProperty *property);
VERSIT_API vParameter *VLIB_get_vProperty_parameterList(const vProperty *property);
VERSIT_API vProperty *VLIB_get_vProperty_next(const vProperty *property);
VERSIT_API vComponent *VLIB_get_vProperty_parentComponent(const vProperty *property);

VERSIT_API char *VLIB_get_vParameter_name(const vParameter *parameter);
VERSIT_API int32_t VLIB_get_vParameter_parameterType(const vParameter *parameter);
VERSIT_API vValue *VLIB_get_vParameter_valueList(const vParameter *parameter);
VERSIT_API vParameter *VLIB_get_vParameter_next(const vParameter *parameter);
VERSIT_API vProperty *VLIB_get_vParameter_parentProperty(const vParameter *parameter);

VERSIT_API char *VLIB_get_vValue_data(const vValue *value);
VERSIT_API int32_t VLIB_get_vValue_dataType(const vValue *value);
VERSIT_API int32_t VLIB_get_vValue_encoding(const vValue *value);
VERSIT_API int32_t VLIB_get_vValue_dataSize(const vValue *value);
VERSIT_API vValue *VLIB_get_vValue_next(const vValue *value);

/* ------------------------------------------------------------------------
 * Lookups. Names are compared without regard to the case of ASCII letters.
 */

/* First parameter from `parameterList` on named `name`; null when none. */
VERSIT_API vParameter *VLIB_get_vParameter_named(const vParameter *parameterList, const char *name);
VERSIT_API vParameter *VLIB_get_vProperty_parameterNamed(const vProperty *property,
                                                         const char *name);
/* Text of the first value of the first parameter named `name`; null when
 * there is no such parameter or it has no value. */
VERSIT_API char *VLIB_get_vProperty_parameterValueString(const vProperty *property,
                                                         const char *name);
/* Text of the value at zero-based `index` along the chain; null past its end. */
VERSIT_API char *VLIB_get_vValue_string(const vValue *valueList, int32_t index);

/* ------------------------------------------------------------------------
 * String hash tables: chained, keyed by NUL-terminated strings. Equal keys
 * may stand several times, newest first.
 */
typedef int32_t (*vHashFunction)(const char *key, int32_t bucketCount);
typedef int32_t (*vCompareFunction)(const char *key, const char *entryKey); /* 0 = match */
typedef void (*vReleaseFunction)(void *data);

typedef struct vHashEntry vHashEntry;
struct vHashEntry {
    char *key;        /* owned copy */
    void *data;       /* owned copy, always followed by a NUL byte */
    int32_t dataSize; /* without that NUL */
    vHashEntry *next; /* next entry of the same chain */
};

typedef struct vHashTable {
    int32_t bucketCount;
    vHashFunction hash;
    vCompareFunction compare;
    vReleaseFunction release; /* may be null: data is then freed with free */
    vHashEntry **buckets;     /* bucketCount chain heads */
} vHashTable;

/* Bucket index of `key`: the last four bytes of the key, as a signed
 * number, modulo bucketCount. The Case variant upper-cases each byte first,
 * so keys that differ only in case share a bucket. */
VERSIT_API int32_t VLIB_symbolHash(const char *key, int32_t bucketCount);
VERSIT_API int32_t VLIB_symbolCaseHash(const char *key, int32_t bucketCount);

/* A new empty table; null when `hash` or `compare` is null, bucketCount is
 * below 1, or memory runs out. */
VERSIT_API vHashTable *VLIB_newHashTable(int32_t bucketCount, vHashFunction hash,
                                         vCompareFunction compare, vReleaseFunction release);
/* Adds a copy of `key` and of `size` bytes of `data` at the head of the
 * key's chain (size < 0: `data` is a C string). 0, VLIB_ERR_NULL_ARGUMENT,
 * or VLIB_ERR_NO_MEMORY with the table unchanged. */
VERSIT_API int32_t VLIB_insert(vHashTable *table, const char *key, const void *data, int32_t size);
/* The newest entry for `key`, then the next older one; null when none. */
VERSIT_API vHashEntry *VLIB_findKey(const vHashTable *table, const char *key);
VERSIT_API vHashEntry *VLIB_findNext(const vHashTable *table, const vHashEntry *entry);
/* The newest entry's data, its size stored in *size when size is not
 * null; null (and *size untouched) when the key is absent. */
VERSIT_API void *VLIB_findDataForKey(const vHashTable *table, const char *key, int32_t *size);
/* Removes the newest entry for `key`. 0, or VLIB_ERR_KEY_NOT_FOUND. */
VERSIT_API int32_t VLIB_destroyKey(vHashTable *table, const char *key);
VERSIT_API void VLIB_destroyHashTable(vHashTable *table);

/* ------------------------------------------------------------------------
 * Tokens of the versit core.
 */

/* Code of `name` within `tokenClass` (0x100 value types, 0x300 parameters,
 * 0x400 components, 0x500 encodings); any other class searches every
 * token. 0 when not found. */
VERSIT_API int32_t VLIB_identifyToken(const char *name, int32_t tokenClass);
/* The property's ENCODING as a code: 1 when it has none, 0 when the word is
 * not known. Cached in the property. */
VERSIT_API int32_t VLIB_getPropertyEncoding(vProperty *property);
/* The property's VALUE type as a code: 0x101 when it has none, 0 when the
 * word is not known. Cached in the property. */
VERSIT_API int32_t VLIB_getPropertyDatatype(vProperty *property);

/* ------------------------------------------------------------------------
 * Transfer encodings. Each converter hands out its result in a buffer
 * allocated with malloc, which the caller releases with free; on failure
 * the output pointer is null. Null text or output pointers give
 * VLIB_ERR_NULL_ARGUMENT.
 */

/* `byteCount` bytes of `data` as BASE64 text, without line breaks (a count
 * below 1 gives ""). 0, or VLIB_ERR_NO_MEMORY. */
VERSIT_API int32_t VLIB_convertToBase64(const void *data, int32_t byteCount, char **out);
/* The bytes of BASE64 `text`, NUL-terminated after the last one, and their
 * number in *byteCount. Only the low seven bits of each character count;
 * characters outside the alphabet (line breaks, blanks, ...) are skipped,
 * and the first "=" ends the text. 0; VLIB_ERR_BAD_BASE64 when characters
 * were skipped (the output is complete all the same); VLIB_ERR_NO_MEMORY. */
VERSIT_API int32_t VLIB_convertFromBase64(const char *text, int32_t *byteCount, char **out);
/* `text` as QUOTED-PRINTABLE: bytes other than 0x20..0x3C and 0x3E..0x7D
 * become "=XX"; once a byte brings the column to 72 a soft break ("=",
 * CR, LF, blank) follows. *column is the column the text starts at and
 * receives the column after it (null: start at 0). 0, or
 * VLIB_ERR_NO_MEMORY. */
VERSIT_API int32_t VLIB_convertToQuotedPrintable(const char *text, char **out, int32_t *column);
/* The bytes of QUOTED-PRINTABLE `text`: "=XX" with upper-case hexadecimal
 * digits is decoded; any other "=", and "=00", is dropped. Soft line
 * breaks are the parser's to remove. 0, or VLIB_ERR_NO_MEMORY. */
VERSIT_API int32_t VLIB_convertFromQuotedPrintable(const char *text, char **out);
/* `text` between double quotes, with a backslash before " , : ; and \,
 * and each line break (CR LF taken as one) written as \n. When *column is
 * past 71 a fold (CR, LF, blank) follows the opening quote. *column
 * receives the column the escaper counted (null: start at 0). 0, or
 * VLIB_ERR_NO_MEMORY. */
VERSIT_API int32_t VLIB_convertToEscapedString(const char *text, char **out, int32_t *column);

/* ------------------------------------------------------------------------
 * The text parser.
 */
#define VLIB_PARSE_NO_DECODE 0x01      /* BASE64 and QUOTED-PRINTABLE stay as written */
#define VLIB_PARSE_SPLIT_VALUES 0x04   /* one property per value */
#define VLIB_PARSE_NO_COMMA_SPLIT 0x08 /* a comma never separates values */
#define VLIB_PARSE_KEEP_RULES 0x10     /* RRULE/EXRULE: as 0x08, never split by 0x04 */

/* Parses the first outermost component (BEGIN ... END) of `buffer`, a
 * NUL-terminated text of which *remainingInOut bytes are still to be read.
 *
 * Lines are unfolded (a line break followed by a blank, CR or LF continues
 * the line; the first blank after each break and every "=" right before a
 * break are dropped), values are split at commas (unless flags say
 * otherwise) and decoded as their ENCODING parameter says, quoted values
 * are unescaped. Properties, parameters and subcomponents stand in the
 * reverse order of the text; values in text order. Every type code is left
 * at its not-identified value. Components nest up to 100 deep: a deeper
 * one is passed over with VLIB_ERR_NESTED_COMPONENT.
 *
 * *componentOut receives the component (the caller destroys it) or null.
 * *remainingInOut is decreased by the bytes read, and *restOut (when
 * restOut is not null) receives the first unread byte, or null when the
 * text is used up. Returns 0, or the code of the last problem met: a
 * component may come back together with a nonzero code (VLIB_ERR_NO_COLON,
 * VLIB_ERR_EMPTY_PARAMETER, VLIB_ERR_BAD_QUOTED_PRINTABLE,
 * VLIB_ERR_BAD_BASE64_VALUE, VLIB_ERR_BEGIN_WITHOUT_NAME,
 * VLIB_ERR_NESTED_COMPONENT, VLIB_ERR_LINE_WITHOUT_NAME). Without one:
 * VLIB_ERR_NO_BEGIN when nothing is left or the first line is not BEGIN
 * (that line is read), VLIB_ERR_NO_NAME when the first line is empty once
 * unfolded, VLIB_ERR_NULL_ARGUMENT, or VLIB_ERR_NO_MEMORY, in which case
 * nothing is read and the call may be repeated. A missing END is no error:
 * the component ends with the text. */
VERSIT_API int32_t VLIB_buildComponentFromBuffer(vComponent **componentOut, const char *buffer,
                                                 int32_t flags, int32_t *remainingInOut,
                                                 char **restOut);
/* Parses the parameters of a content line from `text`, which starts just
 * after the semicolon that follows the property name, up to the first
 * delimiter that is not a semicolon (normally the colon before the value).
 * *listOut receives the parameters in the reverse order of the text (null
 * when there are none), *consumedOut the bytes used. A name with "=" gives
 * a named parameter (type 0x300) with its values; a bare word a parameter
 * (type 0x301) with an empty name and the word as its one value. The text
 * is changed while it is read and restored before the call returns.
 * *resultInOut is the running result, overwritten only when a problem is
 * met (VLIB_ERR_EMPTY_PARAMETER); it is also returned. VLIB_ERR_NO_MEMORY
 * (nothing handed out) or VLIB_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VLIB_getParameterList(vParameter **listOut, int32_t *resultInOut, char *text,
                                         int32_t *consumedOut, int32_t flags);

/* ------------------------------------------------------------------------
 * The text generator. For each record kind there are four functions over
 * one writer: _length_ counts the bytes of the text, _fprint_ writes it to
 * a stream (flushed after each run of text), _sprint_ into a buffer that
 * must hold the length plus one byte (it ends NUL-terminated), _cprint_
 * hands it to a callback in runs. Each takes the first record of a chain
 * and writes every record that follows it (see VLIB_GEN_SINGLE). Lines end
 * in CR LF; before a character other than "=" at column 74 or later a line
 * is folded (CR, LF, blank), though never right after an "=". Names are written, and left in the
 * tree, in upper case; the walk also sets each subcomponent's parent link to the component that
 * holds it. Values are written BASE64 or QUOTED-PRINTABLE as their property's ENCODING says,
 * unescaped values (encoding 0x507) quoted. A null record writes nothing; a null stream, buffer or
 * callback gives VLIB_ERR_NULL_ARGUMENT.
 */
#define VLIB_GEN_NO_ENCODE 0x01          /* values as stored: no BASE64, QP or quotes */
#define VLIB_GEN_BLANK_AFTER_BASE64 0x04 /* an empty line after each BASE64 property */
#define VLIB_GEN_NO_FOLD 0x08            /* fold property values only */
#define VLIB_GEN_SINGLE 0x10             /* a component without the siblings after it */

/* Receives `count` bytes (not NUL-terminated, valid during the call only);
 * returns 0 to go on. After a nonzero result it is not called again. */
typedef int32_t (*vOutputCallback)(void *argument, const char *bytes, int32_t count);

/* Bytes of the text, without a terminating NUL. */
VERSIT_API int32_t VLIB_length_vComponent(vComponent *component, int32_t flags);
VERSIT_API int32_t VLIB_length_vProperty(vProperty *property, int32_t flags);
VERSIT_API int32_t VLIB_length_vParameter(vParameter *parameter, int32_t flags);
VERSIT_API int32_t VLIB_length_vValue(vValue *value, int32_t flags);
/* 0, or VLIB_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VLIB_fprint_vComponent(FILE *stream, vComponent *component, int32_t flags);
VERSIT_API int32_t VLIB_fprint_vProperty(FILE *stream, vProperty *property, int32_t flags);
VERSIT_API int32_t VLIB_fprint_vParameter(FILE *stream, vParameter *parameter, int32_t flags);
VERSIT_API int32_t VLIB_fprint_vValue(FILE *stream, vValue *value, int32_t flags);
/* 0, or VLIB_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VLIB_sprint_vComponent(char *buffer, vComponent *component, int32_t flags);
VERSIT_API int32_t VLIB_sprint_vProperty(char *buffer, vProperty *property, int32_t flags);
VERSIT_API int32_t VLIB_sprint_vParameter(char *buffer, vParameter *parameter, int32_t flags);
VERSIT_API int32_t VLIB_sprint_vValue(char *buffer, vValue *value, int32_t flags);
/* The last callback result (0 when none was made), or
 * VLIB_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VLIB_cprint_vComponent(vOutputCallback callback, void *argument,
                                          vComponent *component, int32_t flags);
VERSIT_API int32_t VLIB_cprint_vProperty(vOutputCallback callback, void *argument,
                                         vProperty *property, int32_t flags);
VERSIT_API int32_t VLIB_cprint_vParameter(vOutputCallback callback, void *argument,
                                          vParameter *parameter, int32_t flags);
VERSIT_API int32_t VLIB_cprint_vValue(vOutputCallback callback, void *argument, vValue *value,
                                      int32_t flags);

/* ------------------------------------------------------------------------
 * Typed values: the text of a value to a record for its type and back.
 *
 * The parsers VLIB_parseAsT(text, record) return 0, 1 when the text is not
 * valid for the type (the record may then be partly filled),
 * VLIB_ERR_NULL_ARGUMENT or VLIB_ERR_NO_MEMORY. The generators
 * VLIB_generateAsT(buffer, size, record) write NUL-terminated text and
 * return 0, or 1 without writing when the record is not valid or the
 * buffer is smaller than the size named with each. TEXT has no codec:
 * both give VLIB_ERR_NOT_SUPPORTED.
 */
typedef struct vDate {
    int32_t year, month, day;
} vDate;

typedef struct vTime {
    int32_t hour, minute, second;
    int32_t offsetHours, offsetMinutes; /* both negative for a "-" offset */
    int32_t utc;                        /* 1: the time ended in Z */
    int32_t local;                      /* 1: the time had no zone part */
} vTime;

typedef struct vDateTime {
    vDate date;
    vTime time;
} vDateTime;

typedef struct vDuration {
    int32_t seconds, minutes, hours, weeks, days, months, years;
} vDuration;

typedef struct vPeriod {
    vDateTime start;
    vDateTime end;      /* used when endIsDateTime is 1 */
    vDuration duration; /* used when endIsDateTime is 0 */
    int32_t endIsDateTime;
} vPeriod;

typedef struct vUtcOffset {
    int32_t hours, minutes; /* both negative for a "-" offset */
} vUtcOffset;

typedef struct vCalAddress {
    char address[64]; /* NUL-terminated */
    char name[128];   /* NUL-terminated */
} vCalAddress;

/* A URL record: the text in this many bytes, NUL-terminated. */
#define VLIB_URL_SIZE 128

/* TRUE or YES give 1, FALSE or NO give 0, ignoring case. */
VERSIT_API int32_t VLIB_parseAsBoolean(const char *text, int32_t *value);
/* YYYYMMDD once blanks and "/" are removed: month 1..12, day 1..31. The
 * record is preset to 0, 1, 1. */
VERSIT_API int32_t VLIB_parseAsDate(const char *text, vDate *date);
/* HHMMSS, HHMMSSZ, HHMMSS+HH or HHMMSS+HHMM once blanks and ":" are
 * removed; the sign may be "-". */
VERSIT_API int32_t VLIB_parseAsTime(const char *text, vTime *time);
/* A date, "T", a time. */
VERSIT_API int32_t VLIB_parseAsDateTime(const char *text, vDateTime *dateTime);
/* P, then numbers each followed by Y, M, W, D, then T, then H, M, S. */
VERSIT_API int32_t VLIB_parseAsDuration(const char *text, vDuration *duration);
/* A date-time, "/", then a duration (starting with P) or a date-time. */
VERSIT_API int32_t VLIB_parseAsPeriod(const char *text, vPeriod *period);
/* An optional sign, digits, an optional point and digits after it. */
VERSIT_API int32_t VLIB_parseAsFloat(const char *text, double *value);
/* Digits, signs and blanks only, then read as atoi reads. */
VERSIT_API int32_t VLIB_parseAsInteger(const char *text, int32_t *value);
/* A sign and HHMM once blanks are removed. */
VERSIT_API int32_t VLIB_parseAsUtcOffset(const char *text, vUtcOffset *offset);
/* "[mailto:]address" or "name <address>", cut to the record's fields. */
VERSIT_API int32_t VLIB_parseAsCalAddress(const char *text, vCalAddress *address);
/* The text cut to VLIB_URL_SIZE - 1 characters. */
VERSIT_API int32_t VLIB_parseAsUrl(const char *text, char *url);
VERSIT_API int32_t VLIB_parseAsText(const char *text, char *record);

/* Allocates (malloc) the record for `datatype` (0x103 .. 0x10E; TEXT takes
 * the text's length plus one bytes), stores it in *record - the caller
 * frees it, whatever the result - and returns the parser's result. A code
 * outside that range gives VLIB_ERR_BAD_DATATYPE and a null record. */
VERSIT_API int32_t VLIB_parseValue(int32_t datatype, const char *text, void **record);

/* "TRUE" (5 bytes) or "FALSE" (6). */
VERSIT_API int32_t VLIB_generateAsBoolean(char *buffer, int32_t size, const int32_t *value);
/* YYYYMMDD (9 bytes); year at least 1, month 1..12, day 1..31. */
VERSIT_API int32_t VLIB_generateAsDate(char *buffer, int32_t size, const vDate *date);
/* HHMMSS when local (7 bytes), else HHMMSSZ when utc (8), else
 * HHMMSS+HHMM or HHMMSS-HHMM (12); second may be 60. */
VERSIT_API int32_t VLIB_generateAsTime(char *buffer, int32_t size, const vTime *time);
/* The date, "T" (when 5 bytes remain after the date), the time. */
VERSIT_API int32_t VLIB_generateAsDateTime(char *buffer, int32_t size, const vDateTime *dateTime);
/* PnYnMnDTnHnMnS (35 bytes), or PnW (8) when weeks is not 0. */
VERSIT_API int32_t VLIB_generateAsDuration(char *buffer, int32_t size, const vDuration *duration);
/* The start, "/" (when 2 bytes remain), the duration or the end. */
VERSIT_API int32_t VLIB_generateAsPeriod(char *buffer, int32_t size, const vPeriod *period);
/* "%f" (20 bytes). */
VERSIT_API int32_t VLIB_generateAsFloat(char *buffer, int32_t size, const double *value);
/* "%d" (20 bytes). */
VERSIT_API int32_t VLIB_generateAsInteger(char *buffer, int32_t size, const int32_t *value);
/* +HHMM or -HHMM (6 bytes). */
VERSIT_API int32_t VLIB_generateAsUtcOffset(char *buffer, int32_t size, const vUtcOffset *offset);
/* "MAILTO:" and the address (address and name lengths plus 11 bytes). */
VERSIT_API int32_t VLIB_generateAsCalAddress(char *buffer, int32_t size,
                                             const vCalAddress *address);
/* The URL (its length plus one byte). */
VERSIT_API int32_t VLIB_generateAsUrl(char *buffer, int32_t size, const char *url);
VERSIT_API int32_t VLIB_generateAsText(char *buffer, int32_t size, const char *text);

/* ------------------------------------------------------------------------
 * Diagnostics.
 */

/* Logs `text` for `code` under the label `where` ("where:  text"); a null
 * text is logged as "VLIB error". Always returns 0. */
VERSIT_API int32_t VLIB_logError(const char *where, int32_t code, const char *text);
/* Logs one trace record; `text` is a format, so "%" starts a directive.
 * Always returns 0. */
VERSIT_API int32_t VLIB_trace(const char *text);

VERSIT_END_DECLS

#endif /* VERSIT_CORE_H */
