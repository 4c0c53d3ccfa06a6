/*
 * versit_vcard.h - vCard interface: contexts, token tables, cards, properties and parameters by
 * token code.
 *
 * Every operation takes a vCard context first and returns a 32-bit result code
 * (versit_result.h): 0 for success, VCARD_ERR_NO_CONTEXT for a null context, otherwise a
 * VCARD_... code, or the code of the versit core when the core is what failed (a parse that
 * runs out of memory returns VLIB_ERR_NO_MEMORY, not VCARD_ERR_NO_MEMORY).
 *
 * A card is a vComponent named "VCARD" (versit_core.h). Properties and parameters are asked
 * for by token code; the context's token table gives each name its code and back.
 *
 * Result arrays: the caller passes an array and its size n. When fewer than n items are found
 * a null (0 for code arrays, and a 0 size for size arrays) follows the last one; when more than
 * n are found, n are stored and VCARD_MORE_ITEMS is returned (a warning: what fitted is valid).
 * Finding nothing gives VCARD_ERR_NOT_FOUND unless said otherwise. Out counts are set to 0 and
 * the first entry of out arrays to null before anything else is checked.
 *
 * With VCARD_TRACE set in the context's flags each operation writes its own name to the trace
 * log on entry and reports its failures to the error log; without it most failures are
 * returned silently. The log itself writes only while a host has switched it on.
 */
#ifndef VERSIT_VCARD_H
#define VERSIT_VCARD_H

#include <stdint.h>
#include <stdio.h>

#include "versit_core.h"
#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

/* ------------------------------------------------------------------------
 * Token codes: 0x3000 + class nibble (bits 8 to 11) + index. Value types keep the core's
 * codes 0x100 to 0x10F (VLIB_TYPE_...).
 */
#define VCARD_TOKEN_NONE 0x3000 /* what a failed VCARD_identifyToken writes */
#define VCARD_TOKEN_X 0x3002    /* an "X-" name looked up without a class */

#define VCARD_TYPE_UNKNOWN 0x100 /* value type not known */
#define VCARD_TYPE_BINARY 0x10F

/* Properties (class 2) */
#define VCARD_PROP_UNKNOWN 0x3200
#define VCARD_PROP_X 0x3202 /* any "X-" property */
#define VCARD_PROP_FN 0x3210
#define VCARD_PROP_N 0x3211
#define VCARD_PROP_PHOTO 0x3212
#define VCARD_PROP_BDAY 0x3213
#define VCARD_PROP_ADR 0x3214
#define VCARD_PROP_LABEL 0x3215
#define VCARD_PROP_TEL 0x3216
#define VCARD_PROP_EMAIL 0x3217
#define VCARD_PROP_MAILER 0x3218
#define VCARD_PROP_TZ 0x3219
#define VCARD_PROP_GEO 0x321A
#define VCARD_PROP_TITLE 0x321B
#define VCARD_PROP_ROLE 0x321C
#define VCARD_PROP_LOGO 0x321D
#define VCARD_PROP_AGENT 0x321E
#define VCARD_PROP_ORG 0x321F
#define VCARD_PROP_NOTE 0x3220
#define VCARD_PROP_REV 0x3221
#define VCARD_PROP_SOUND 0x3222
#define VCARD_PROP_URL 0x3223
#define VCARD_PROP_UID 0x3224
#define VCARD_PROP_VERSION 0x3225
#define VCARD_PROP_KEY 0x3226

/* Parameter names (class 3) */
#define VCARD_PARM_UNKNOWN 0x3300
#define VCARD_PARM_BARE 0x3301 /* a bare vCard 2.1 parameter not classified yet */
#define VCARD_PARM_X 0x3302    /* any "X-" parameter */
#define VCARD_PARM_LANGUAGE 0x3303
#define VCARD_PARM_ENCODING 0x3304
#define VCARD_PARM_CHARSET 0x3305
#define VCARD_PARM_VALUE 0x3306
#define VCARD_PARM_TYPE 0x3307

/* Components (class 4) */
#define VCARD_COMP_UNKNOWN 0x3400
#define VCARD_COMP_X 0x3402
#define VCARD_COMP_VCARD 0x3403

/* Parameter values (class 6) */
#define VCARD_PVAL_NONE 0x3600
#define VCARD_PVAL_ABSENT 0x3601 /* VCARD_addCompleteProperty: add no such parameter */
#define VCARD_PVAL_X 0x3602      /* any "X-" value */
#define VCARD_PVAL_7BIT 0x3603
#define VCARD_PVAL_8BIT 0x3604
#define VCARD_PVAL_QUOTED_PRINTABLE 0x3605
#define VCARD_PVAL_BASE64 0x3606
#define VCARD_PVAL_INLINE 0x3607
#define VCARD_PVAL_CID 0x3608
#define VCARD_PVAL_CONTENT_ID 0x3609
#define VCARD_PVAL_URL 0x360A
#define VCARD_PVAL_DOM 0x360B
#define VCARD_PVAL_INTL 0x360C
#define VCARD_PVAL_POSTAL 0x360D
#define VCARD_PVAL_PARCEL 0x360E
#define VCARD_PVAL_HOME 0x360F
#define VCARD_PVAL_WORK 0x3610
#define VCARD_PVAL_PREF 0x3611
#define VCARD_PVAL_VOICE 0x3612
#define VCARD_PVAL_FAX 0x3613
#define VCARD_PVAL_MSG 0x3614
#define VCARD_PVAL_CELL 0x3615
#define VCARD_PVAL_PAGER 0x3616
#define VCARD_PVAL_BBS 0x3617
#define VCARD_PVAL_MODEM 0x3618
#define VCARD_PVAL_CAR 0x3619
#define VCARD_PVAL_ISDN 0x361A
#define VCARD_PVAL_VIDEO 0x361B
#define VCARD_PVAL_AOL 0x361C
#define VCARD_PVAL_APPLELINK 0x361D
#define VCARD_PVAL_ATTMAIL 0x361E
#define VCARD_PVAL_CIS 0x361F
#define VCARD_PVAL_INTERNET 0x3620
#define VCARD_PVAL_IBMMAIL 0x3621
#define VCARD_PVAL_MCIMAIL 0x3622
#define VCARD_PVAL_POWERSHARE 0x3623
#define VCARD_PVAL_PRODIGY 0x3624
#define VCARD_PVAL_TLX 0x3625
#define VCARD_PVAL_X400 0x3626
#define VCARD_PVAL_GIF 0x3627
#define VCARD_PVAL_CGM 0x3628
#define VCARD_PVAL_WMF 0x3629
#define VCARD_PVAL_BMP 0x362A
#define VCARD_PVAL_MET 0x362B
#define VCARD_PVAL_PMB 0x362C
#define VCARD_PVAL_DIB 0x362D
#define VCARD_PVAL_PICT 0x362E
#define VCARD_PVAL_TIFF 0x362F
#define VCARD_PVAL_PDF 0x3630
#define VCARD_PVAL_PS 0x3631
#define VCARD_PVAL_JPEG 0x3632
#define VCARD_PVAL_QTIME 0x3633
#define VCARD_PVAL_MPEG 0x3634
#define VCARD_PVAL_MPEG2 0x3635
#define VCARD_PVAL_AVI 0x3636
#define VCARD_PVAL_WAVE 0x3637
#define VCARD_PVAL_AIFF 0x3638
#define VCARD_PVAL_PCM 0x3639
#define VCARD_PVAL_X509 0x363A
#define VCARD_PVAL_PGP 0x363B
#define VCARD_PVAL_TRUE 0x363C
#define VCARD_PVAL_FALSE 0x363D

/* ------------------------------------------------------------------------
 * The context.
 */
#define VCARD_TRACE 0x1            /* trace every call, log every failure */
#define VCARD_NO_DEFAULT_TYPES 0x2 /* import and export add no default TYPE parameters */

typedef struct VCardContext {
    /* Per class nibble, null or 256 names indexed by a code's low byte; the names belong to
     * tokenTable. */
    char **tokenNames[16];
    /* Names to 4-byte codes: 173 buckets, case-insensitive; a name may stand several times. */
    vHashTable *tokenTable;
    /* Per property (low byte of its code): default value type, 0x100 when none. */
    int32_t *defaultDatatype;
    /* Per property: zero-terminated list of default TYPE value codes, or null. The lists are
     * built in and never freed. */
    const int32_t **defaultTypeList;
    /* Per property: the low byte of the default value type, 5 when none. */
    uint8_t *propertyByte;
    /* VCARD_TRACE, VCARD_NO_DEFAULT_TYPES; 0 at creation, written by the caller. */
    int32_t flags;
} VCardContext;

/* Creates a context holding the vCard vocabulary and stores it in *context (cleared first).
 * 0; VCARD_ERR_NULL_ARGUMENT; VCARD_ERR_NO_MEMORY when the record or its tables cannot be had
 * (*context stays null); or the failure of VCARD_initializeTokenTable, in which case the
 * context is handed out all the same and must be destroyed. */
VERSIT_API int32_t VCARD_createContext(VCardContext **context);

/* Releases the context and everything it owns and clears *context. 0; VCARD_ERR_NULL_ARGUMENT
 * for a null address, VCARD_ERR_NO_CONTEXT for a null *context. */
VERSIT_API int32_t VCARD_destroyContext(VCardContext **context);

/* Creates the symbol table and registers the 102 names of the vCard vocabulary. 0;
 * VCARD_ERR_TOKEN_TABLE when the context has a symbol table or any name array already;
 * VCARD_ERR_NO_MEMORY; or the first failure of VCARD_registerToken. */
VERSIT_API int32_t VCARD_initializeTokenTable(VCardContext *context);

/* Releases the symbol table. The name arrays stay allocated but are emptied, so that names by
 * code answer VCARD_ERR_NOT_FOUND instead of pointing into the freed table, and the context
 * cannot be initialized again. 0, or VCARD_ERR_TOKEN_TABLE when there is no symbol table. */
VERSIT_API int32_t VCARD_destroyTokenTable(VCardContext *context);

/* Gives `name` the token `code` (a further entry when the name stands already; the newest
 * name of a code is the one VCARD_getTokenString returns). 0; VCARD_ERR_NULL_ARGUMENT;
 * VCARD_ERR_TOKEN_TABLE without a symbol table; VCARD_ERR_NO_MEMORY; VCARD_ERR_NO_OBJECT when
 * the name cannot be found right after insertion. */
VERSIT_API int32_t VCARD_registerToken(VCardContext *context, const char *name, int32_t code);

/* Code of `name` (any case) in *code. With a hint (a code of the wanted class, or 0 for any)
 * the newest entry of that class is taken. An unregistered name beginning with "X-" gives
 * hint + 2 (0x3002 without hint). 0; VCARD_ERR_NOT_FOUND with *code = 0x3000;
 * VCARD_ERR_NULL_ARGUMENT; VCARD_ERR_TOKEN_TABLE without a symbol table. */
VERSIT_API int32_t VCARD_identifyToken(VCardContext *context, const char *name, int32_t hint,
                                       int32_t *code);

/* The name of `code` in *name (owned by the context; cleared first). 0; VCARD_ERR_BAD_CODE
 * when the code is not 0x3xxx (value types included); VCARD_ERR_NOT_FOUND when it has no name;
 * VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_getTokenString(VCardContext *context, int32_t code, const char **name);

/* ------------------------------------------------------------------------
 * Cards: creation, import, export and navigation.
 */

/* A new card holding VERSION "2.1" and REV, the current UTC time, in *card. The card is handed
 * out whenever it was created; the result is the first failure of adding VERSION, taking the
 * time, writing it, or adding REV. VCARD_ERR_NULL_ARGUMENT; VCARD_ERR_CREATE_CARD when the
 * component cannot be created. */
VERSIT_API int32_t VCARD_createCard(VCardContext *context, vComponent **card);

/* Releases *card, every card chained after it, and clears *card. 0, or VCARD_ERR_NULL_ARGUMENT
 * when the address or the card is null. */
VERSIT_API int32_t VCARD_destroyCard(VCardContext *context, vComponent **card);

/* Reads one card from the `length` bytes of `text` (NUL-terminated), verifies it and, unless
 * VCARD_NO_DEFAULT_TYPES is set, adds the default TYPE parameters. *rest receives the first
 * unread byte (null when the text is used up), *remaining the bytes left: call again with
 * them for the next card. The card (in *card, cleared first) is handed out whenever one was
 * read, also with a non-zero result. Result: the parser's failure (a versit core code; with
 * VLIB_ERR_NO_MEMORY nothing is read and the call can be repeated), else the verification's,
 * else the default parameters'. VCARD_ERR_NO_CARD (with *rest null, *remaining 0) when no
 * card is left or the next line is not BEGIN; VCARD_ERR_NO_OBJECT when the parser gave neither
 * card nor failure; VCARD_ERR_NULL_ARGUMENT when any pointer is null. */
VERSIT_API int32_t VCARD_importObjectFromBuffer(VCardContext *context, vComponent **card,
                                                const char *text, int32_t length, const char **rest,
                                                int32_t *remaining);

/* Not supported: clears *card and returns VCARD_ERR_NOT_SUPPORTED (VCARD_ERR_NULL_ARGUMENT
 * for a null card address or file). */
VERSIT_API int32_t VCARD_importObjectFromFile(VCardContext *context, vComponent **card, FILE *file);

/* The byte source VCARD_importObjectFromCallback would read from: fills at most `size` bytes
 * and returns their number, 0 at the end. Never called: reading from a callback is not
 * supported. */
typedef int32_t (*VCardInputCallback)(void *data, char *buffer, int32_t size);

/* Not supported: clears *card and returns VCARD_ERR_NOT_SUPPORTED (VCARD_ERR_NULL_ARGUMENT
 * for a null card address or callback; `data` is the caller's and may be null). */
VERSIT_API int32_t VCARD_importObjectFromCallback(VCardContext *context, vComponent **card,
                                                  VCardInputCallback callback, void *data);

/* The card (and every card chained after it) as text in *text, allocated with malloc and
 * NUL-terminated; the caller frees it. Unless VCARD_NO_DEFAULT_TYPES is set the default TYPE
 * parameters are added to the card first (their failure is returned, nothing written). Its
 * length is VLIB_length_vComponent(card, 12). 0; VCARD_ERR_NO_MEMORY; VCARD_ERR_NULL_ARGUMENT
 * for a null card or out pointer (*text is cleared first). */
VERSIT_API int32_t VCARD_exportObjectToBuffer(VCardContext *context, vComponent *card, char **text);

/* As VCARD_exportObjectToBuffer, written to an open stream: the result of
 * VLIB_fprint_vComponent. VCARD_ERR_NULL_ARGUMENT for a null card or stream. */
VERSIT_API int32_t VCARD_exportObjectToFile(VCardContext *context, vComponent *card, FILE *file);

/* As VCARD_exportObjectToBuffer, handed to `callback` in runs: the result of
 * VLIB_cprint_vComponent (the callback's last result). VCARD_ERR_NULL_ARGUMENT for a null card
 * or callback. */
VERSIT_API int32_t VCARD_exportObjectToCallback(VCardContext *context, vComponent *card,
                                                vOutputCallback callback, void *data);

/* The card chained after `card` in *next (cleared first). 0; VCARD_ERR_NOT_FOUND when `card`
 * is the last; VCARD_ERR_NULL_ARGUMENT. Traces its call whatever the flags. */
VERSIT_API int32_t VCARD_getNextCard(VCardContext *context, vComponent *card, vComponent **next);

/* The cards nested in `card` (subcomponents of type 0x3403), in subcomponent order. 0 with a
 * null after the last; VCARD_MORE_ITEMS as soon as the array is full (no null stored); 1 when
 * `card` is not a vCard (type other than 0x3403); VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_getCardFromCard(VCardContext *context, vComponent *card,
                                         vComponent **cards, int32_t size, int32_t *count);

/* Counts the cards of `length` bytes of text without parsing: a line starting with BEGIN
 * (any case, blanks allowed before ":") opens a level, one starting with END closes one, and a
 * card is counted when an outermost level closes. 0; VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_countCardsInTextBuffer(VCardContext *context, const char *text,
                                                int32_t length, int32_t *count);

/* ------------------------------------------------------------------------
 * Properties and parameters by token code. Property codes lie in 0x3200 to 0x32FF, parameter
 * codes in 0x3300 to 0x33FF; another code gives VCARD_ERR_BAD_CODE. Properties are added at
 * the head of the card's list and parameters at the head of the property's, so "list order"
 * is newest first. A property's or parameter's value is the first of its values: its data and
 * dataSize (for text, the size counts the NUL); none gives null and 0. Copies are allocated
 * with malloc, NUL-terminated, and the caller frees them. A null card, property, text or out
 * pointer gives VCARD_ERR_NULL_ARGUMENT.
 */

/* Number of the card's properties of `code`. 0 (also for none of that code);
 * VCARD_ERR_NOT_FOUND when the card has no properties at all. */
VERSIT_API int32_t VCARD_countProperty(VCardContext *context, vComponent *card, int32_t code,
                                       int32_t *count);

/* The card's properties of `code` in list order. */
VERSIT_API int32_t VCARD_getProperty(VCardContext *context, vComponent *card, int32_t code,
                                     vProperty **properties, int32_t size, int32_t *count);

/* The value and size of each property of `code`; the values belong to the card. */
VERSIT_API int32_t VCARD_getPropertyValue(VCardContext *context, vComponent *card, int32_t code,
                                          char **values, int32_t *sizes, int32_t size,
                                          int32_t *count);

/* As VCARD_getPropertyValue, each value copied into its size plus one bytes (a NUL after it);
 * a property without value gives "" and size 0. VCARD_ERR_NO_MEMORY when a copy fails: the
 * copies counted in *count are the caller's. */
VERSIT_API int32_t VCARD_getPropertyValueCopy(VCardContext *context, vComponent *card, int32_t code,
                                              char **values, int32_t *sizes, int32_t size,
                                              int32_t *count);

/* The property's value and size. 0, or 1 (not a result code) when it has no value (*value
 * null, *size 0). */
VERSIT_API int32_t VCARD_getSinglePropertyValue(VCardContext *context, vProperty *property,
                                                char **value, int32_t *size);

/* As VCARD_getSinglePropertyValue, the value copied (size plus one bytes). 1 when the property
 * has no value (*copy null); VCARD_ERR_NO_MEMORY when the copy cannot be allocated. */
VERSIT_API int32_t VCARD_getSinglePropertyValueCopy(VCardContext *context, vProperty *property,
                                                    char **copy, int32_t *size);

/* Adds a property of `code` with one value: `length` bytes of `value` (-1: a NUL-terminated
 * text, its NUL counted), of the property's default value type, named by the code's token
 * name. *property (may be a null address) receives it. 0; VCARD_ERR_NOT_FOUND for a code
 * without name; VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY when memory runs out. */
VERSIT_API int32_t VCARD_addProperty(VCardContext *context, vComponent *card, int32_t code,
                                     const char *value, int32_t length, vProperty **property);

/* VCARD_addProperty, then one TYPE parameter per code of `types`, then ENCODING when
 * `encoding` is 0x3605 or 0x3606, then VALUE when `valueType` is 0x3607 to 0x360A (0x3601
 * adds none; other codes are ignored). A failing parameter add is returned at once, the
 * property staying on the card. */
VERSIT_API int32_t VCARD_addCompleteProperty(VCardContext *context, vComponent *card, int32_t code,
                                             const char *value, int32_t length,
                                             const int32_t *types, int32_t typeCount,
                                             int32_t valueType, int32_t encoding);

/* Removes and destroys every property of `code`; *count tells how many. 0, or
 * VCARD_ERR_NOT_FOUND when there was none. */
VERSIT_API int32_t VCARD_deleteProperty(VCardContext *context, vComponent *card, int32_t code,
                                        int32_t *count);

/* Number of the property's parameters of `code`. 0; VCARD_ERR_NOT_FOUND when the property has
 * no parameters at all. */
VERSIT_API int32_t VCARD_countParameter(VCardContext *context, vProperty *property, int32_t code,
                                        int32_t *count);

/* The parameters of `code` in `list` (null: an empty list), in list order. */
VERSIT_API int32_t VCARD_getParameterFromList(VCardContext *context, vParameter *list, int32_t code,
                                              vParameter **parameters, int32_t size,
                                              int32_t *count);

/* The property's parameters of `code`, in list order. */
VERSIT_API int32_t VCARD_getParameter(VCardContext *context, vProperty *property, int32_t code,
                                      vParameter **parameters, int32_t size, int32_t *count);

/* The value of each of the property's parameters of `code`. */
VERSIT_API int32_t VCARD_getParameterValue(VCardContext *context, vProperty *property, int32_t code,
                                           char **values, int32_t size, int32_t *count);

/* The value of each of the property's parameters of `code` as a parameter-value code: the
 * token found (hint 0x3600), 0x3602 for a value beginning with "X-", 0x3600 for an unknown
 * value or none. The result is that of the last value looked up (VCARD_ERR_NOT_FOUND when it
 * was unknown), or the fetch's when none was. */
VERSIT_API int32_t VCARD_getParameterValueId(VCardContext *context, vProperty *property,
                                             int32_t code, int32_t *codes, int32_t size,
                                             int32_t *count);

/* As VCARD_getParameterValue, each value copied (a parameter without value gives "").
 * VCARD_ERR_NO_MEMORY when a copy fails: the copies counted in *count are the caller's. */
VERSIT_API int32_t VCARD_getParameterValueCopy(VCardContext *context, vProperty *property,
                                               int32_t code, char **values, int32_t size,
                                               int32_t *count);

/* Adds a parameter of `code` with the text `value`. A TYPE whose value does not begin with
 * "X" or "x" is bare (written ;WORK); any other parameter is named by the code's token name.
 * 0; VCARD_ERR_NOT_FOUND for a code without name; VCARD_ERR_CREATE_VALUE,
 * VCARD_ERR_CREATE_PARAMETER when memory runs out. */
VERSIT_API int32_t VCARD_addParameter(VCardContext *context, vProperty *property, int32_t code,
                                      const char *value);

/* VCARD_addParameter with the token name of the parameter-value code `valueCode` as value;
 * that name's failure (VCARD_ERR_NOT_FOUND, VCARD_ERR_BAD_CODE) is returned. */
VERSIT_API int32_t VCARD_addParameterId(VCardContext *context, vProperty *property, int32_t code,
                                        int32_t valueCode);

/* How the parameter values of a property are compared with the wanted codes. */
#define VCARD_MATCH_EXACT 1  /* all wanted, nothing else */
#define VCARD_MATCH_ALL 2    /* all wanted, others allowed */
#define VCARD_MATCH_SUBSET 3 /* nothing but wanted ones */

/* The card's properties of `code` whose values of parameter `parameterCode` match the
 * `wantedCount` codes of `wanted` in `mode` (each value counts, so a value given twice is
 * matched twice). Properties without such a parameter are never selected, nor those whose
 * last value is unknown. 0, also when nothing is selected; VCARD_MORE_ITEMS; no null is
 * stored after the last. VCARD_ERR_NOT_FOUND when the card has no property of `code`;
 * VCARD_ERR_NO_MEMORY. */
VERSIT_API int32_t VCARD_getPropertyByParameter(VCardContext *context, vComponent *card,
                                                int32_t code, int32_t parameterCode, int32_t mode,
                                                const int32_t *wanted, int32_t wantedCount,
                                                vProperty **properties, int32_t size,
                                                int32_t *count);

/* VCARD_getPropertyByParameter with TYPE (0x3307). */
VERSIT_API int32_t VCARD_getPropertyByType(VCardContext *context, vComponent *card, int32_t code,
                                           int32_t mode, const int32_t *wanted, int32_t wantedCount,
                                           vProperty **properties, int32_t size, int32_t *count);

/* As VCARD_getPropertyByParameter, the value and size of each selected property. */
VERSIT_API int32_t VCARD_getPropertyValueByParameter(VCardContext *context, vComponent *card,
                                                     int32_t code, int32_t parameterCode,
                                                     int32_t mode, const int32_t *wanted,
                                                     int32_t wantedCount, char **values,
                                                     int32_t *sizes, int32_t size, int32_t *count);

/* VCARD_getPropertyValueByParameter with TYPE. */
VERSIT_API int32_t VCARD_getPropertyValueByType(VCardContext *context, vComponent *card,
                                                int32_t code, int32_t mode, const int32_t *wanted,
                                                int32_t wantedCount, char **values, int32_t *sizes,
                                                int32_t size, int32_t *count);

/* As VCARD_getPropertyValueByType, each value copied (size plus one bytes). When a copy fails
 * the copies made are released, the array cleared, *count set to 0 and VCARD_ERR_NO_MEMORY
 * returned. */
VERSIT_API int32_t VCARD_getPropertyValueCopyByType(VCardContext *context, vComponent *card,
                                                    int32_t code, int32_t mode,
                                                    const int32_t *wanted, int32_t wantedCount,
                                                    char **values, int32_t *sizes, int32_t size,
                                                    int32_t *count);

/* Splits the structured value `text` in place at each ";" not escaped by a backslash (the
 * backslashes stay): *fields receives a malloc'ed array of *count pointers into `text`, which
 * the caller frees (the text stays the caller's). "" gives one empty field. 0;
 * VCARD_ERR_NO_MEMORY. */
VERSIT_API int32_t VCARD_getFieldEntriesFromCopy(VCardContext *context, char *text, char ***fields,
                                                 int32_t *count);

/* ------------------------------------------------------------------------
 * Verification, default TYPE parameters and helpers.
 */

/* VCARD_verifyLevel2 of `component`. */
VERSIT_API int32_t VCARD_verify(VCardContext *context, vComponent *component);

/* Gives `component`, every component chained after it and everything nested in them their
 * token codes: components and properties (a group prefix "x." is passed over) by name,
 * properties their value type (VALUE parameter, else the context's default), parameters as
 * VCARD_verifyParameterList does; a value that a bare BASE64 or QUOTED-PRINTABLE parameter
 * announces is decoded. Unknown names keep their text and get the unknown code of their
 * class. Never stops early: the result is the last problem met (VCARD_ERR_NO_COMPONENT_NAME,
 * VCARD_ERR_BAD_COMPONENT, VCARD_ERR_NO_PROPERTY_NAME, VCARD_ERR_BAD_PROPERTY,
 * VCARD_ERR_BAD_PARAMETER, a decoder's failure), or 0. */
VERSIT_API int32_t VCARD_verifyLevel2(VCardContext *context, vComponent *component);

/* Types the parameters of `list` (may be null). Named ones by their name (0x3300 when
 * unknown); bare ones: 7BIT, 8BIT, BASE64 and QUOTED-PRINTABLE become ENCODING parameters
 * (named "ENCODING"), anything else TYPE (still bare). *encoding receives 0x3606 or 0x3605
 * when a bare BASE64 or QUOTED-PRINTABLE was met, else 0x3600. 0; VCARD_ERR_BAD_PARAMETER for
 * an unknown name; VLIB_ERR_NO_MEMORY when a parameter cannot be renamed (it then stays bare
 * and announces no encoding); VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_verifyParameterList(VCardContext *context, vParameter *list,
                                             int32_t *encoding);

/* Adds to each property of the card itself (not of nested or chained cards) that has no TYPE
 * parameter (type 0x3307) its default TYPE values as bare parameters: INTL, POSTAL, PARCEL,
 * WORK for ADR and LABEL, VOICE for TEL, INTERNET for EMAIL. 0, or the first failure (the
 * parameters added before it stay); VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_addDefaultTYPEparms(VCardContext *context, vComponent *card);

/* The default value type of a property code in *datatype (0x100 when it has none). 0;
 * VCARD_ERR_BAD_CODE when bits 8 to 15 of the code are not 0x32; VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_getDefaultPropertyDatatype(VCardContext *context, int32_t code,
                                                    int32_t *datatype);

/* Answers nothing: 1 ("no answer here") with nothing written, VCARD_ERR_NULL_ARGUMENT when
 * `property` or `datatype` is null. A property's value type is the datatype field that
 * verification stores in it; see VCARD_getDefaultPropertyDatatype for a code's default. */
VERSIT_API int32_t VCARD_getPropertyDatatype(VCardContext *context, vProperty *property,
                                             int32_t *datatype);

/* The current UTC time (utc 1, local 0, no offset). 0; VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_createTimestamp(VCardContext *context, vDateTime *timestamp);

/* A malloc'ed copy of `text` with a backslash before each ";", ":" and "\" in *escaped (the
 * caller frees it). 0; VCARD_ERR_NO_MEMORY; VCARD_ERR_NULL_ARGUMENT. */
VERSIT_API int32_t VCARD_escapeText(VCardContext *context, const char *text, char **escaped);

VERSIT_END_DECLS

#endif /* VERSIT_VCARD_H */
