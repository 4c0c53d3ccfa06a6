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
