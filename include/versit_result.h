/*
 * versit_result.h - the result codes of the versit library.
 *
 * Every operation that can fail returns a 32-bit result: 0 for success,
 * otherwise a code from the block of the subsystem that noticed the
 * failure. Codes travel up the layers unchanged, so a vCard call that
 * fails inside the versit core returns the core's code.
 *
 *   0x15001 .. 0x150AD   list library          (versit_list.h)
 *   0x15601 .. 0x1560C   date library          (internal)
 *   95747 .. 95796       vCalendar reader, writer, recurrence
 *   0x1850C .. 0x185B2   versit core
 *   0x18D10 .. 0x18D22   vCard interface and address-book exchange
 *
 * The table below is the one place the codes are named. It expands to
 * the enumeration and can be expanded again by a caller that wants the
 * names as text:
 *
 *   #define ROW(name, value, meaning) { value, #name },
 *   static const struct { int code; const char *name; } t[] = {
 *       VERSIT_RESULT_CODES(ROW)
 *   };
 */
#ifndef VERSIT_RESULT_H
#define VERSIT_RESULT_H

/* clang-format off */
#define VERSIT_RESULT_CODES(X) \
    X(VERSIT_OK,                     0,       "success") \
    /* list library */ \
    X(KL_LIST_DUPLICATE,               0x15001, "the id is already in a unique list, or the list holds a duplicate id") \
    X(KL_LIST_E_ADD_FRONT,             0x15002, "adding at the front: the cell could not be made") \
    X(KL_LIST_E_ADD_FRONT_NULL,        0x15003, "adding at the front: null list handle") \
    X(KL_LIST_E_ADD_BEFORE,            0x15004, "inserting before a cell: no id to store") \
    X(KL_LIST_E_ADD_BEFORE_NULL,       0x15006, "inserting before a cell: null list handle") \
    X(KL_LIST_E_ADD_AFTER,             0x15007, "inserting after a cell: no id to store") \
    X(KL_LIST_E_ADD_AFTER_NULL,        0x15009, "inserting after a cell: null list handle") \
    X(KL_LIST_E_ADD_LAST,              0x1500A, "appending: no id to store") \
    X(KL_LIST_E_ADD_LAST_NULL,         0x1500B, "appending: null list handle") \
    X(KL_LIST_E_SORTED_ADD_AFTER,      0x1500D, "a sorted list refuses KL_ListAddAfter") \
    X(KL_LIST_E_SORTED_ADD_BEFORE,     0x15010, "a sorted list refuses KL_ListAddBefore") \
    X(KL_LIST_E_SORTED_ADD_LAST,       0x15013, "a sorted list refuses KL_ListAddLast") \
    X(KL_LIST_E_SORTED_INSERT,         0x15014, "sorted insertion: no memory for the scratch buffers") \
    X(KL_LIST_E_CHANGE_CELL,           0x15015, "KL_ListChangeData could not reach a cell") \
    X(KL_LIST_E_SORTED_CHANGE,         0x15017, "a sorted list refuses KL_ListChangeData") \
    X(KL_LIST_E_NO_MEMORY,             0x15019, "no memory for a new cell") \
    X(KL_LIST_E_UPDATE_NULL,           0x1501B, "update: null list handle") \
    X(KL_LIST_E_UPDATE_REFUSED,        0x1501C, "update refused: sorted list, or the current cell was deleted") \
    X(KL_LIST_END,                     0x15020, "empty list, end of iteration, no current or no previous cell") \
    X(KL_LIST_E_FIND_NULL,             0x15021, "KL_ListFind: null list handle") \
    X(KL_LIST_E_VALUE_NULL,            0x15022, "KL_ListGetValue: null list handle") \
    X(KL_LIST_E_NEXT_NULL,             0x15023, "KL_ListGetNext: null list handle") \
    X(KL_LIST_E_NEXT_CELL,             0x15024, "KL_ListGetNext: the cell could not be reached") \
    X(KL_LIST_E_FIRST_NULL,            0x15025, "KL_ListGetFirst: null list handle") \
    X(KL_LIST_E_FIRST_CELL,            0x15026, "KL_ListGetFirst: the cell could not be reached") \
    X(KL_LIST_E_GET_NULL,              0x15027, "KL_ListAlwaysGet: null list handle") \
    X(KL_LIST_E_CMPID_NULL,            0x1502A, "KL_ListCmpId: null list handle") \
    X(KL_LIST_E_CMPCELL_NULL,          0x1502B, "KL_ListCmpCell: null list handle") \
    X(KL_LIST_E_PREV_NULL,             0x1502C, "KL_ListGetPrev: null list handle") \
    X(KL_LIST_E_LAST_NULL,             0x1502D, "KL_ListGetLast: null list handle") \
    X(KL_LIST_E_MTF_NULL,              0x1502E, "KL_ListGet of a move-to-front list: null list handle") \
    X(KL_LIST_E_NULL_ARGUMENT,         0x1502F, "a list operation without a code of its own got a null handle or pointer") \
    X(KL_LIST_E_DESTROY_NULL,          0x15040, "KL_ListDestroy: null list handle") \
    X(KL_LIST_E_CREATE_NO_MEMORY,      0x15041, "KL_ListCreate: out of memory, or nowhere to store the list") \
    X(KL_LIST_E_ID_SIZE,               0x15042, "KL_ListCreate: id size 0") \
    X(KL_LIST_E_MALFORMED_TEXT,        0x15043, "KL_ListCreateFromStr: malformed text") \
    X(KL_LIST_E_FLAG,                  0x15044, "KL_ListSetFlag: flag or value not allowed") \
    X(KL_LIST_E_FLAG_NULL,             0x15045, "KL_ListSetFlag: null list handle") \
    X(KL_LIST_E_CMPFCT_NULL,           0x15046, "KL_ListChangeCmpFct: null list handle") \
    X(KL_LIST_E_ALLOC_SELECTOR,        0x1505A, "KL_ListAlloc: selector not 1 or 3") \
    X(KL_LIST_E_ALLOC_NO_MEMORY,       0x1505B, "KL_ListAlloc: out of memory") \
    X(KL_LIST_E_VERIFY_NULL,           0x15060, "KL_ListVerifyType: null list handle") \
    X(KL_LIST_E_TYPE_MISMATCH,         0x15061, "lists of different types") \
    X(KL_LIST_E_SELECTION_NULL,        0x1506A, "KL_ListGetSelection: null source list") \
    X(KL_LIST_E_MERGE_NULL,            0x1506B, "KL_ListMergeSelect: null source list") \
    X(KL_LIST_E_DELETE_ALL_NULL,       0x1507A, "KL_ListDeleteAll: null list handle") \
    X(KL_LIST_E_DELETE_CURRENT_NULL,   0x1507C, "KL_ListDeleteCurrent: null list handle") \
    X(KL_LIST_E_ALREADY_DELETED,       0x1507D, "KL_ListDeleteCurrent: the current cell was already deleted") \
    X(KL_LIST_NOT_FOUND,               0x15090, "no matching cell") \
    X(KL_LIST_E_SORT_NULL,             0x150A0, "KL_ListQuickSort: null list handle") \
    X(KL_LIST_E_SORT_RANGE,            0x150A1, "KL_ListQuickSort: a range to sort has no first or last cell") \
    X(KL_LIST_E_SORT_SCAN,             0x150A2, "KL_ListQuickSort: the range ends before its last cell") \
    X(KL_LIST_E_SORT_STORE,            0x150A3, "KL_ListQuickSort: the store position has no next cell") \
    X(KL_LIST_NOT_SORTABLE,            0x150AD, "sort refused: text ids or data, or compare functions given for a sorted list") \
    /* date library */ \
    X(KL_DATE_E_DAY,                   0x15601, "day 0 or above 31") \
    X(KL_DATE_E_MONTH,                 0x15602, "month above 11") \
    X(KL_DATE_E_MONTH_INDEX,           0x15603, "month index above 11 when asking for a month's length") \
    X(KL_DATE_E_DAY_IN_MONTH,          0x15604, "day beyond the length of its month") \
    X(KL_DATE_E_NULL,                  0x15605, "null date record or parameter block") \
    X(KL_DATE_E_UNIT,                  0x15606, "unit of KL_DateAddUnits not 1 to 4") \
    X(KL_DATE_E_MODE,                  0x15607, "KL_DateGenRecur: mode has neither create nor reuse") \
    X(KL_DATE_E_LIST_SIZE,             0x15608, "KL_DateGenRecur: a list's sizes could not be read") \
    X(KL_DATE_E_LIST_TYPE,             0x15609, "KL_DateGenRecur: a list has the wrong id or data size") \
    X(KL_DATE_E_RULE,                  0x1560A, "KL_DateGenRecur: unknown rule code") \
    X(KL_DATE_E_NO_DAY_LIST,           0x1560B, "KL_DateGenRecur: day list missing for rule codes 2 to 4") \
    X(KL_DATE_E_RANGE,                 0x1560C, "a date outside 1 January 1991 to 4 June 2170 has no day id, or a year beyond 65535") \
    /* versit core */ \
    X(VLIB_ERR_NO_MEMORY,            0x1850C, "an allocation failed") \
    X(VLIB_ERR_BAD_BASE64,           0x18580, "BASE64 text held characters outside the alphabet; they were skipped") \
    X(VLIB_ERR_NULL_ARGUMENT,        0x18581, "a required pointer argument was null") \
    X(VLIB_ERR_BAD_DATATYPE,         0x18582, "no value codec for the datatype code") \
    X(VLIB_ERR_NOT_SUPPORTED,        0x18583, "the TEXT value codec has no implementation") \
    X(VLIB_ERR_NO_COLON,             0x18590, "a content line has no ':' after its name and parameters") \
    X(VLIB_ERR_EMPTY_PARAMETER,      0x18591, "a parameter name with '=' has no value") \
    X(VLIB_ERR_BAD_QUOTED_PRINTABLE, 0x18592, "a QUOTED-PRINTABLE value could not be decoded") \
    X(VLIB_ERR_BAD_BASE64_VALUE,     0x18593, "a BASE64 value could not be decoded") \
    X(VLIB_ERR_NO_BEGIN,             0x18594, "nothing left to parse, or the first line is not BEGIN") \
    X(VLIB_ERR_NO_NAME,              0x18595, "the first content line yields no property") \
    X(VLIB_ERR_BEGIN_WITHOUT_NAME,   0x18596, "a BEGIN line has no component name") \
    X(VLIB_ERR_NESTED_COMPONENT,     0x18597, "building a nested component failed") \
    X(VLIB_ERR_LINE_WITHOUT_NAME,    0x18598, "a content line inside a component yields no property") \
    X(VLIB_ERR_KEY_NOT_FOUND,        0x185B2, "no hash table entry for the key") \
    /* vCard interface and address-book exchange */ \
    X(VCARD_ERR_TOKEN_TABLE,         0x18D10, "the context's token table is in the wrong state") \
    X(VCARD_ERR_BAD_CODE,            0x18D11, "a token code of the wrong class or an invalid argument value") \
    X(VCARD_ERR_CREATE_CARD,         0x18D12, "failed to create new vCard") \
    X(VCARD_ERR_NO_COMPONENT_NAME,   0x18D13, "no vCard component name") \
    X(VCARD_ERR_BAD_COMPONENT,       0x18D14, "unknown vCard component") \
    X(VCARD_ERR_CREATE_VALUE,        0x18D15, "failed to create vCard value") \
    X(VCARD_ERR_NO_OBJECT,           0x18D16, "an object that should exist is missing") \
    X(VCARD_MORE_ITEMS,              0x18D17, "more items matched than the caller's limit allowed") \
    X(VCARD_ERR_NO_CONTEXT,          0x18D18, "the vCard context argument is null") \
    X(VCARD_ERR_NO_MEMORY,           0x18D19, "out of memory") \
    X(VCARD_ERR_NOT_FOUND,           0x18D1A, "the requested token, property or parameter does not exist") \
    X(VCARD_ERR_NULL_ARGUMENT,       0x18D1B, "a parameter was an illegal NULL pointer") \
    X(VCARD_ERR_CREATE_PARAMETER,    0x18D1C, "failed to create a vCard parameter") \
    X(VCARD_ERR_BAD_PARAMETER,       0x18D1D, "unknown vCard parameter") \
    X(VCARD_ERR_CREATE_PROPERTY,     0x18D1E, "failed to create a vCard property") \
    X(VCARD_ERR_NO_PROPERTY_NAME,    0x18D1F, "no vCard property name") \
    X(VCARD_ERR_BAD_PROPERTY,        0x18D20, "unknown vCard property") \
    X(VCARD_ERR_NOT_SUPPORTED,       0x18D21, "import from a file or a callback is not supported") \
    X(VCARD_ERR_NO_CARD,             0x18D22, "the buffer holds no (further) vCard") \
    /* vCalendar reader, writer and recurrence expansion */ \
    X(VCAL_ERR_UNRECOVERABLE,        95747,   "reading ended at a structural error; the tree read so far is returned") \
    X(VCAL_ERR_BAD_CLASS,            95748,   "a CLASS value cannot be mapped") \
    X(VCAL_ERR_BAD_DATE_TIME,        95749,   "a date-time text is malformed") \
    X(VCAL_ERR_BAD_DAY,              95750,   "a day of month is impossible") \
    X(VCAL_ERR_NULL_ERROR_TEXT,      95751,   "the error-text pointer argument is null") \
    X(VCAL_ERR_NO_LINE,              95752,   "no line delivered where one was expected") \
    X(VCAL_ERR_NO_TREE,              95753,   "the handle variable holds no tree") \
    X(VCAL_END_OF_STREAM,            95755,   "end of stream") \
    X(VCAL_ERR_NO_MORE_ENTITIES,     95756,   "no calendar, event or to-do (left)") \
    X(VCAL_ERR_NULL_LIST,            95759,   "a list or result pointer argument is null") \
    X(VCAL_ERR_BAD_HOUR,             95760,   "an hour is out of range") \
    X(VCAL_ERR_BAD_MINUTE,           95762,   "a minute is out of range") \
    X(VCAL_ERR_BAD_MONTH,            95763,   "a month is impossible") \
    X(VCAL_ERR_BAD_ITEM_TYPE,        95764,   "an item type other than event (2) or to-do (3)") \
    X(VCAL_ERR_NO_CALENDAR_CLOSED,   95765,   "no calendar was closed") \
    X(VCAL_ERR_NO_VCALENDAR,         95766,   "no BEGIN:VCALENDAR in the stream") \
    X(VCAL_ERR_NULL_ARGUMENT,        95767,   "a null pointer argument") \
    X(VCAL_ERR_NO_MEMORY,            95768,   "out of memory") \
    X(VCAL_ERR_NULL_HANDLE,          95771,   "the handle pointer argument is null") \
    X(VCAL_ERR_READ_WITH_ERRORS,     95772,   "the tree was read, but the error text is not empty") \
    X(VCAL_ERR_NO_LINE_COUNT,        95774,   "a progress callback was passed without the line-count pointer") \
    X(VCAL_ERR_NO_VALUE,             95776,   "a property line has no value") \
    X(VCAL_ERR_NULL_PROPERTY_PARAM,  95777,   "the PropertyParam pointer argument is null") \
    X(VCAL_ERR_NULL_LINE,            95778,   "a line to write is null") \
    X(VCAL_ERR_BUFFER_TOO_SMALL,     95779,   "an output buffer is smaller than 16 bytes") \
    X(VCAL_ERR_NULL_BUFFER,          95780,   "an output buffer pointer is null") \
    X(VCAL_ERR_NULL_STREAM,          95781,   "the stream pointer argument is null") \
    X(VCAL_ERR_NULL_GET_CALLBACK,    95782,   "the byte-get callback is null") \
    X(VCAL_ERR_NULL_PUT_CALLBACK,    95783,   "the byte-put callback is null") \
    X(VCAL_ERR_NOT_DATE_PROPERTY,    95784,   "the property identifier is not that of a date property") \
    X(VCAL_ERR_UNTERMINATED,         95785,   "the stream ended inside a calendar; the tree read so far is returned") \
    X(VCAL_ERR_NULL_CALENDAR,        95787,   "a calendar pointer or output pointer argument is null") \
    X(VCAL_ERR_NULL_EVENT,           95788,   "the event or instance record is null") \
    X(VCAL_ERR_NULL_TODO,            95789,   "the to-do record is null") \
    X(VCAL_ERR_VERSION_BUFFER,       95790,   "a version buffer is missing or too small") \
    X(VCAL_ERR_NULL_WARNING_TEXT,    95793,   "the warning-text pointer argument is null") \
    X(VCAL_ERR_BAD_VERSION,          95794,   "a VERSION value is not 1.0") \
    X(VCAL_ERR_BAD_YEAR,             95796,   "a year outside 1991 to 2036")
/* clang-format on */

#define VERSIT_RESULT_ENUM_ROW_(name, value, meaning) name = (value),
enum versit_result { VERSIT_RESULT_CODES(VERSIT_RESULT_ENUM_ROW_) };
#undef VERSIT_RESULT_ENUM_ROW_

#endif /* VERSIT_RESULT_H */
