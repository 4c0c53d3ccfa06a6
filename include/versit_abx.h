/*
 * versit_abx.h - Address-book exchange: the client's address-book entries to vCards and back.
 *
 * An entry travels as a fixed binary record, ABEntryRecord, plus up to three text streams that
 * the client library (CALAPI32, calapi32.h) keeps beside it: a general note, a personal note and
 * a photo (base64 text). GetVCardStreamFromABRecID writes one entry as a vCard 2.1;
 * GetNewABRecIDsFromVCardStream creates one entry per card of a text. Record fields that vCard
 * has no name for travel in extension properties ("X-QVT-AB_..."), which RegisterVCXProperties
 * adds to a vCard context.
 *
 * Results are those of the vCard interface (versit_result.h); a failure of the client library
 * is passed through with its own code (calapi32.h).
 */
#ifndef VERSIT_ABX_H
#define VERSIT_ABX_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_list.h"
#include "versit_result.h"
#include "versit_vcard.h"

VERSIT_BEGIN_DECLS

/* The client library's connection record (calapi32.h). The exchange reads only its two 16-bit
 * fields at bytes 18 and 20, which every new entry receives. */
#ifndef CALAPI_CLIENT_DECLARED
#define CALAPI_CLIENT_DECLARED
typedef struct CalapiClient CalapiClient;
#endif

/* ------------------------------------------------------------------------
 * Records. Byte-packed, little-endian; a text field of n bytes holds at most n - 1 characters
 * and a NUL. The offsets in the comments are part of the interface.
 */
#pragma pack(push, 1)

/* A date; all four bytes zero: no date. */
typedef struct ABDate {
    uint8_t day;   /* 1 to 31 */
    uint8_t month; /* 0 = January */
    uint16_t year;
} ABDate;

/* A telephone number in three parts. */
typedef struct ABPhone {
    char prefix[6];
    char area[6];
    char number[21];
} ABPhone;

/* The identifier of an entry, written by ABEntryCreate. An identifier whose `kind` or `number`
 * is zero names no entry. */
typedef struct ABEntryId {
    uint16_t kind;
    uint32_t number;
    uint32_t check;
} ABEntryId;

/* An address-book entry: 3129 bytes. Fields named reserved... are not interpreted by the
 * exchange (the client library keeps the entry's identifier in the first 10 bytes of the
 * records it hands out); it only copies them. */
typedef struct ABEntryRecord {
    uint8_t reserved0[10];       /*    0 */
    uint32_t owner;              /*   10 owner identifier, first 4 bytes */
    uint16_t ownerExtension;     /*   14 owner identifier, last 2 bytes */
    uint16_t clientField18;      /*   16 the client record's 16-bit field at byte 18 */
    uint16_t clientField20;      /*   18 the client record's 16-bit field at byte 20 */
    uint32_t security;           /*   20 */
    uint32_t flags;              /*   24 */
    uint32_t flags2;             /*   28 */
    char familyName[41];         /*   32 " " stands for no name */
    char givenName[33];          /*   73 " " stands for no name */
    char middleName[33];         /*  106 */
    uint16_t relation;           /*  139 */
    char salutation[129];        /*  141 */
    ABDate birthday;             /*  270 */
    uint8_t reserved274[12];     /*  274 */
    ABDate anniversary;          /*  286 */
    uint8_t reserved290[12];     /*  290 */
    ABDate date1;                /*  302 */
    uint8_t reserved306[12];     /*  306 */
    char date1Info[129];         /*  318 */
    ABDate date2;                /*  447 */
    uint8_t reserved451[12];     /*  451 */
    char date2Info[129];         /*  463 */
    char spouseName[65];         /*  592 */
    uint32_t personalNote;       /*  657 non-zero: the entry has a personal note (stream 3) */
    uint32_t revisionTime;       /*  661 minutes since 1 January 1991, midnight of the day */
    uint8_t reserved665[15];     /*  665 */
    char timeZone[9];            /*  680 */
    char indexedKeyword1[33];    /*  689 */
    char indexedKeyword2[33];    /*  722 */
    char otherKeyword1[33];      /*  755 */
    char otherKeyword2[33];      /*  788 */
    char homeStreet[129];        /*  821 */
    char homeCity[33];           /*  950 */
    char homeCountry[33];        /*  983 */
    char homeRegion[33];         /* 1016 */
    char homePostalCode[17];     /* 1049 */
    char businessStreet[129];    /* 1066 */
    char businessCity[33];       /* 1195 */
    char businessCountry[33];    /* 1228 */
    char businessRegion[33];     /* 1261 */
    char businessPostalCode[17]; /* 1294 */
    uint8_t reserved1311[4];     /* 1311 */
    char title[33];              /* 1315 */
    char organization[65];       /* 1348 */
    char unit1[33];              /* 1413 organizational unit 1 */
    char unit2[33];              /* 1446 organizational unit 2 */
    char businessAssistant[65];  /* 1479 */
    char businessRefNo[33];      /* 1544 */
    char businessAccountNo[33];  /* 1577 */
    char businessBuyer[33];      /* 1610 */
    char industryType[33];       /* 1643 */
    ABPhone businessPhone;       /* 1676 */
    char businessPhoneExt[6];    /* 1709 */
    ABPhone businessPhone2;      /* 1715 */
    char businessPhone2Ext[6];   /* 1748 */
    ABPhone fax;                 /* 1754 */
    ABPhone fax2;                /* 1787 */
    ABPhone homePhone;           /* 1820 */
    ABPhone homePhone2;          /* 1853 */
    ABPhone mobilePhone;         /* 1886 */
    ABPhone mobilePhone2;        /* 1919 */
    ABPhone pager;               /* 1952 */
    ABPhone assistantPhone;      /* 1985 */
    char assistantPhoneExt[6];   /* 2018 */
    uint8_t reserved2024[4];     /* 2024 */
    uint32_t generalNote;        /* 2028 non-zero: the entry has a general note (stream 0) */
    uint8_t reserved2032[4];     /* 2032 */
    uint32_t photo;              /* 2036 non-zero: the entry has a photo (stream 2) */
    uint16_t photoFormat;        /* 2040 AB_PHOTO_..., 0 = none */
    char web1[129];              /* 2042 */
    char web2[129];              /* 2171 */
    char x400Name1[41];          /* 2300 X.400 personal name: surname */
    char x400Name2[17];          /* 2341 given name */
    char x400Name3[6];           /* 2358 initials */
    char x400Name4[4];           /* 2364 generation qualifier */
    char x400Address1[33];       /* 2368 X.400 address: organizational units 1 to 4 */
    char x400Address2[33];       /* 2401 */
    char x400Address3[33];       /* 2434 */
    char x400Address4[33];       /* 2467 */
    char x400Address5[65];       /* 2500 organization name */
    char x400Address6[4];        /* 2565 numeric country code */
    char x400Address7[17];       /* 2569 management domain names */
    char x400Address8[17];       /* 2586 */
    char email1[65];             /* 2603 */
    char email2[65];             /* 2668 */
    char msAddress[3][65];       /* 2733 mail-system address parts */
    char macAddress[3][65];      /* 2928 */
    uint16_t emailKind;          /* 3123 3: the e-mail addresses came from INTERNET e-mail */
    uint8_t reserved3125[4];     /* 3125 */
} ABEntryRecord;

#pragma pack(pop)

/* ------------------------------------------------------------------------
 * Streams: the kinds passed to the client library.
 */
#define AB_STREAM_GENERAL_NOTE 0  /* text; indicator ABEntryRecord.generalNote */
#define AB_STREAM_PHOTO 2         /* base64 text; indicator ABEntryRecord.photo */
#define AB_STREAM_PERSONAL_NOTE 3 /* text; indicator ABEntryRecord.personalNote */

/* Photo formats (ABEntryRecord.photoFormat) as the export writes them in TYPE. */
#define AB_PHOTO_GIF 1
#define AB_PHOTO_DIB 2
#define AB_PHOTO_CGM 3
#define AB_PHOTO_WMF 4
#define AB_PHOTO_BMP 5
#define AB_PHOTO_MET 6
#define AB_PHOTO_PMB 7
#define AB_PHOTO_PICT 8
#define AB_PHOTO_TIFF 9
#define AB_PHOTO_PDF 10
#define AB_PHOTO_PS 11
#define AB_PHOTO_JPEG 12
#define AB_PHOTO_MPEG 13
#define AB_PHOTO_MPEG2 14
#define AB_PHOTO_AVI 15
#define AB_PHOTO_QTIME 16

/* ------------------------------------------------------------------------
 * The extension vocabulary: token codes RegisterVCXProperties gives the extension names.
 */
#define AB_X_VERSION 0x3264 /* "X-QVT-AB_Version" */
#define AB_X_SECURITY 0x3265
#define AB_X_FLAGS 0x3266
#define AB_X_FLAGS2 0x3267
#define AB_X_RELATION 0x3268
#define AB_X_DEAR 0x3269
#define AB_X_ANIVERSARY 0x326A
#define AB_X_DATE1 0x326B
#define AB_X_DATE1_INFO 0x326C
#define AB_X_DATE2 0x326D
#define AB_X_DATE2_INFO 0x326E
#define AB_X_SPOUSE_NAME 0x326F
#define AB_X_NOTES 0x3270
#define AB_X_INDEXED_KWORDS 0x3271
#define AB_X_OTHER_KWORDS 0x3272
#define AB_X_BUSINESS_REF_NO 0x3273
#define AB_X_BUSINESS_ACCNT_NO 0x3274
#define AB_X_BUSINESS_BUYER 0x3275
#define AB_X_INDUSTRY_TYPE 0x3276
#define AB_X_X400_NAME 0x3277
#define AB_X_X400_NAME_ADDR 0x3278
#define AB_X_MS_ADDRESS 0x3279
#define AB_X_MAC_ADDR 0x327A
#define AB_X_FIX 0x327B
#define AB_X_TEL_BUSINESS 0x327C /* "X_QVT-AB_TEL_Business" */
#define AB_X_TEL_BUSINESS2 0x327D
#define AB_X_TEL_FAX 0x327E
#define AB_X_TEL_FAX2 0x327F
#define AB_X_TEL_HOME 0x3280
#define AB_X_TEL_HOME2 0x3281
#define AB_X_TEL_MOBILE 0x3282
#define AB_X_TEL_MOBILE2 0x3283
#define AB_X_TEL_PAGER 0x3284
#define AB_X_BUSINESS_ASSISTANT 0x3285
#define AB_X_TEL_ASSISTANT 0x3286
#define AB_X_WEB1 0x3287
#define AB_X_WEB2 0x3288
#define AB_X_EMAIL1 0x3289
#define AB_X_EMAIL2 0x328A
#define AB_X_PARM_TYPE 0x3364     /* parameter "X-QVT-TYPE" */
#define AB_X_PVAL_GENERAL 0x3664  /* its value "General" */
#define AB_X_PVAL_PERSONAL 0x3665 /* its value "Personal" */

/* ------------------------------------------------------------------------
 * Operations.
 */

/* Registers the extension names in `context` (once: a context that knows 0x3264 already is
 * left alone). 0; VCARD_ERR_NO_CONTEXT; or the first failure of VCARD_registerToken
 * (VCARD_ERR_TOKEN_TABLE for a context without a symbol table, VCARD_ERR_NO_MEMORY). */
VERSIT_API int32_t RegisterVCXProperties(VCardContext *context);

/* Writes the entry `record` as the text of one vCard 2.1: its fields as standard properties
 * and extension properties, its notes and photo fetched from the client library through
 * `client`. On entry *text is released with free (when not null) and cleared, and *length set
 * to 0. On success *text holds a malloc'ed NUL-terminated text (the caller frees it) and
 * *length its length without the NUL.
 * The photo travels as PHOTO;<format>;ENCODING=BASE64 so that its bytes survive the text.
 * Result: 0; VCARD_ERR_NULL_ARGUMENT when `record`, `text` or `length` is null;
 * VCARD_ERR_NO_CONTEXT; a failure of the registration, of card creation or of an add (the
 * status left by the last standard property decides); a client-library failure met while
 * fetching a stream, when nothing was added after it; the export's failure. */
VERSIT_API int32_t GetVCardStreamFromABRecID(CalapiClient *client, VCardContext *context,
                                             const ABEntryRecord *record, char **text,
                                             int32_t *length);

/* Creates one entry through `client` for each card of the `length` bytes of `text` (which need
 * not be NUL-terminated), at most *budget of them, and puts their identifiers into *list:
 * a new list (id size 10, no data, KL_LIST_UNIQUE_SILENT) when *list is null, else the caller's
 * list emptied first; the newest entry stands first. Every new entry gets the 6 bytes at
 * `owner` (null: zeros) as owner identifier. The photo (first PHOTO with a TYPE) and the notes
 * (NOTE;X-QVT-TYPE=General or Personal) become streams.
 * *skipped is set to 0 and counts the cards that gave no entry. *budget goes down by one per
 * entry; a card that gave no entry leaves it as it was, unless it failed, which ends the run.
 * Result: 0 when the text was used up or the budget ran out; VCARD_ERR_BAD_CODE when `client`,
 * `context`, `text`, `list`, `skipped` or `budget` is null, `length` is below 1 or *budget is
 * 0 (nothing is touched); VCARD_ERR_NO_MEMORY when the text cannot be copied; a list-library
 * failure; otherwise the import failure that ended the run (verification complaints about
 * unknown names do not end it; a card the parser cannot read, VLIB_ERR_NO_COLON among them,
 * does). The entries created before a failure stay created and listed. */
VERSIT_API int32_t GetNewABRecIDsFromVCardStream(CalapiClient *client, VCardContext *context,
                                                 const char *text, const uint8_t *owner,
                                                 int32_t length, KL_HLIST *list, uint16_t *skipped,
                                                 uint32_t *budget);

VERSIT_END_DECLS

#endif /* VERSIT_ABX_H */
