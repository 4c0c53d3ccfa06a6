/*
 * versit_list.h - Ordered lists of identified cells (the KL_List family).
 *
 * A list is a singly linked chain of cells. Every cell holds an id of the
 * list's id size and, when the list has a data size above 0, a data part
 * of that size. Both sizes are fixed when the list is made; with
 * KL_LIST_STRING_ID or KL_LIST_STRING_DATA the part is NUL-terminated text
 * of at most that many bytes, NUL included (longer text is cut).
 *
 * The list keeps one cursor: a current cell and the cell before it. The
 * walk functions move it; deleting the current cell moves it back to the
 * cell before, so that the next KL_ListGetNext continues after the deleted
 * cell. Adds and lookups never move it.
 *
 * A cell is one allocation: the reference to the next cell, the data part
 * (padded to a multiple of 4 bytes; text data is not padded, the id follows
 * its NUL), the id, and one spare byte. The data of a cell found with
 * KL_ListFind starts right after that reference; KL_ListGetIdPtr gives the
 * id. A cell's id must not be written through that address: change cells
 * with the update functions.
 *
 * Every function returns a result code of versit_result.h (0 = success)
 * unless said otherwise. "id" and "data" arguments are the caller's memory
 * holding an id or a data part in the list's form; outputs given as null
 * are skipped. A null data argument to an add leaves the new cell's data
 * zeroed (empty text). All memory comes from malloc; a list is released
 * with KL_ListDestroy. The library keeps module-level state (the walk
 * counter): do not enter it from two threads at once.
 */
#ifndef VERSIT_LIST_H
#define VERSIT_LIST_H

#include <stdint.h>

#include "versit_export.h"
#include "versit_result.h"

VERSIT_BEGIN_DECLS

/* The list handle and the cells it chains. */
typedef struct KL_ListHeader *KL_HLIST;
typedef struct KL_ListCell *KL_HCELL;

/* Compares `size` bytes of two ids or two data parts: negative, 0 or
 * positive as `first` is below, equal to or above `second`. */
typedef int32_t (*KL_ListCmpFct)(const void *first, const void *second, uint32_t size);

/* Selects cells for the merge functions: non-zero takes the cell. `id`
 * and `data` are copies of the source cell's parts. */
typedef int32_t (*KL_ListSelectFct)(KL_HLIST list, const void *id, const void *data, void *user);

/* List flags; combinations allowed. */
#define KL_LIST_SORTED 0x01u        /* ascending by (id, data); only KL_ListAddTo adds */
#define KL_LIST_NO_DATA 0x02u       /* set by KL_ListCreate when the data size is 0 */
#define KL_LIST_UNIQUE 0x04u        /* adding a present id fails with KL_LIST_DUPLICATE */
#define KL_LIST_FLAG_08 0x08u       /* kept and reported, tested by nothing */
#define KL_LIST_MOVE_TO_FRONT 0x10u /* KL_ListGet moves the cell it finds to the front */
#define KL_LIST_STRING_ID 0x20u     /* ids are NUL-terminated text */
#define KL_LIST_STRING_DATA 0x40u   /* data parts are NUL-terminated text */
#define KL_LIST_UNIQUE_SILENT 0x80u /* adding a present id adds nothing and succeeds */

/* Selectors of KL_ListGetValue and KL_ListAlloc. */
#define KL_LIST_VALUE_COUNT 0u
#define KL_LIST_VALUE_DATA_SIZE 1u
#define KL_LIST_VALUE_FLAGS 2u
#define KL_LIST_VALUE_ID_SIZE 3u

/* ------------------------------------------------------------------------
 * Creation and destruction.
 */

/* Makes an empty list with no cursor. A null compare function selects the
 * default: text compare for a text part, byte compare otherwise (byte
 * compare puts little-endian numbers out of numeric order; pass your own
 * function for that). A data size of 0 adds KL_LIST_NO_DATA to `flags`.
 * Id size 0: *list = null, KL_LIST_E_ID_SIZE. No memory, or a null `list`:
 * KL_LIST_E_CREATE_NO_MEMORY (and *list = null when it can be stored). */
VERSIT_API int32_t KL_ListCreate(KL_HLIST *list, uint32_t idSize, uint32_t dataSize, uint32_t flags,
                                 KL_ListCmpFct idCompare, KL_ListCmpFct dataCompare);

/* Makes a list as KL_ListCreate does and fills it with KL_ListAddTo from
 * `text`, which is cut up in place (separators become NUL). Kinds: 1 text
 * (also selecting text compare for that part), 2 number ("0x..." hex,
 * otherwise decimal, read up to the first non-digit, stored as 32 bits).
 * With a data size above 0 each cell is "id<idDataSep>data", cells are
 * ended by `cellSep` or the end of the text; with data size 0 a cell is
 * the id alone. Pairs of kinds other than 1 and 2 add nothing. A null or
 * empty text gives an empty list. On any failure (KL_LIST_E_MALFORMED_TEXT
 * for an id ended where its data should follow, a data part ended by
 * `idDataSep`, or an id ended by `idDataSep` in a list without data; or
 * the failing add's code) the list is destroyed and *list is null. */
VERSIT_API int32_t KL_ListCreateFromStr(KL_HLIST *list, uint16_t idKind, uint32_t idSize,
                                        uint16_t dataKind, uint32_t dataSize, uint32_t flags,
                                        char *text, char cellSep, char idDataSep);

/* Frees every cell and the list and sets *list to null. A null list:
 * KL_LIST_E_DESTROY_NULL (*list is still cleared). */
VERSIT_API int32_t KL_ListDestroy(KL_HLIST *list);

/* Frees every cell; the list is empty with no cursor. KL_LIST_E_DELETE_ALL_NULL. */
VERSIT_API int32_t KL_ListDeleteAll(KL_HLIST list);

/* ------------------------------------------------------------------------
 * Adding. In a KL_LIST_UNIQUE list a present id gives KL_LIST_DUPLICATE; in
 * a KL_LIST_UNIQUE_SILENT list it gives 0 and nothing is added. A failed
 * add leaves the list as it was. A null `id` cannot make a cell and gives
 * the operation's own failure code.
 */

/* Unsorted list: the new cell becomes the first. Sorted list: inserted
 * before the first cell that is not below it (equal cells: newest first).
 * KL_LIST_E_ADD_FRONT_NULL; KL_LIST_E_ADD_FRONT (unsorted list out of
 * memory, or null id); sorted list out of memory: KL_LIST_E_SORTED_INSERT
 * or KL_LIST_E_NO_MEMORY. */
VERSIT_API int32_t KL_ListAddTo(KL_HLIST list, const void *id, const void *data);

/* Inserts right after the first cell matching (refId, refData) as
 * KL_ListFind matches (refData null: by id); at the end when that cell is
 * the last or none matches. KL_LIST_E_ADD_AFTER_NULL, then
 * KL_LIST_E_SORTED_ADD_AFTER for a sorted list, KL_LIST_E_ADD_AFTER for a
 * null id, KL_LIST_E_NO_MEMORY. */
VERSIT_API int32_t KL_ListAddAfter(KL_HLIST list, const void *refId, const void *refData,
                                   const void *id, const void *data);

/* Inserts right before the first matching cell; first when none matches.
 * KL_LIST_E_ADD_BEFORE_NULL, KL_LIST_E_SORTED_ADD_BEFORE,
 * KL_LIST_E_ADD_BEFORE, KL_LIST_E_NO_MEMORY. */
VERSIT_API int32_t KL_ListAddBefore(KL_HLIST list, const void *refId, const void *refData,
                                    const void *id, const void *data);

/* Appends. The uniqueness test comes before the sorted-list refusal
 * KL_LIST_E_SORTED_ADD_LAST. KL_LIST_E_ADD_LAST_NULL, KL_LIST_E_ADD_LAST,
 * KL_LIST_E_NO_MEMORY. */
VERSIT_API int32_t KL_ListAddLast(KL_HLIST list, const void *id, const void *data);

/* ------------------------------------------------------------------------
 * Walking and reading. The walk functions copy the cell's id to `idOut`
 * (the text with its NUL, or id size bytes) and its data to `dataOut`
 * (data size bytes; text is NUL-padded to that size). Every tenth call of
 * KL_ListGetFirst/KL_ListGetNext, over all lists, first yields the
 * processor.
 */

/* The first cell becomes current. Empty list: *idOut gets id size zero
 * bytes, KL_LIST_END. KL_LIST_E_FIRST_NULL. */
VERSIT_API int32_t KL_ListGetFirst(KL_HLIST list, void *idOut, void *dataOut);

/* The cell after the current one (after a deleted current cell: the cell
 * that followed it). Without a current cell, the same as KL_ListGetFirst.
 * Past the last cell: *idOut zeroed, KL_LIST_END, and the next call starts
 * at the first cell again. KL_LIST_E_NEXT_NULL. */
VERSIT_API int32_t KL_ListGetNext(KL_HLIST list, void *idOut, void *dataOut);

/* The cell before the current one becomes current; KL_LIST_END when there
 * is none (outputs untouched). Right after KL_LIST_END from
 * KL_ListGetNext this is the last cell. KL_LIST_E_PREV_NULL. */
VERSIT_API int32_t KL_ListGetPrev(KL_HLIST list, void *idOut, void *dataOut);

/* The last cell becomes current; empty list: no current cell, KL_LIST_END.
 * KL_LIST_E_LAST_NULL. */
VERSIT_API int32_t KL_ListGetLast(KL_HLIST list, void *idOut, void *dataOut);

/* Copies the data of the first cell with `id`. In a KL_LIST_MOVE_TO_FRONT
 * list that cell also moves to the front; the cursor sees this as a delete
 * of the cell followed by an add at the front. KL_LIST_NOT_FOUND,
 * KL_LIST_E_GET_NULL. */
VERSIT_API int32_t KL_ListGet(KL_HLIST list, const void *id, void *dataOut);

/* Copies the data of the first cell with `id`; never reorders.
 * KL_LIST_NOT_FOUND, KL_LIST_E_GET_NULL. */
VERSIT_API int32_t KL_ListAlwaysGet(KL_HLIST list, const void *id, void *dataOut);

/* Finds the first cell whose id equals `id` (data null) or whose id and
 * data equal `id` and `data` (KL_ListCmpCell); stores it and the cell
 * before it (null for the first cell). KL_LIST_NOT_FOUND (outputs
 * untouched), KL_LIST_E_FIND_NULL. */
VERSIT_API int32_t KL_ListFind(KL_HLIST list, const void *id, const void *data,
                               KL_HCELL *previousOut, KL_HCELL *cellOut);

/* Copies the id and the data of `cell` (data only when `dataOut` is given
 * and the list has data). KL_LIST_E_NULL_ARGUMENT for a null list or cell. */
VERSIT_API int32_t KL_ListGetData(KL_HLIST list, void *idOut, void *dataOut, KL_HCELL cell);

/* Stores the address of the id inside `cell`. KL_LIST_E_NULL_ARGUMENT. */
VERSIT_API int32_t KL_ListGetIdPtr(KL_HLIST list, KL_HCELL cell, void **idOut);

/* Copy one id or data part in the list's form. KL_LIST_E_NULL_ARGUMENT. */
VERSIT_API int32_t KL_ListCopyId(KL_HLIST list, void *destination, const void *sourceId);
VERSIT_API int32_t KL_ListCopyData(KL_HLIST list, void *destination, const void *sourceData);

/* Fills id size bytes of `id` with 0. KL_LIST_E_NULL_ARGUMENT. */
VERSIT_API int32_t KL_ListZeroId(KL_HLIST list, void *id);

/* Returns the list's id compare of (a, b). *result gets 0, or
 * KL_LIST_E_CMPID_NULL for a null list (then that code is also returned). */
VERSIT_API int32_t KL_ListCmpId(KL_HLIST list, const void *a, const void *b, int32_t *result);

/* Returns the id compare of the ids and, only when they are equal, the
 * data compare of the data parts. *result gets 0, or KL_LIST_E_CMPCELL_NULL
 * (also returned). */
VERSIT_API int32_t KL_ListCmpCell(KL_HLIST list, const void *idA, const void *dataA,
                                  const void *idB, const void *dataB, int32_t *result);

/* ------------------------------------------------------------------------
 * Changing and deleting.
 */

/* Gives the first cell with `id` (and `oldData`, when given) the data
 * `newData` (null: nothing changes). With text data a new cell takes the
 * old one's place, cursor included.
 * KL_LIST_E_SORTED_CHANGE, KL_LIST_NOT_FOUND, KL_LIST_E_NO_MEMORY,
 * KL_LIST_E_NULL_ARGUMENT for a null list. */
VERSIT_API int32_t KL_ListChangeData(KL_HLIST list, const void *id, const void *oldData,
                                     const void *newData);

/* Writes `id` and `data` (null: the data stays) into the current cell,
 * without a uniqueness test. KL_LIST_E_UPDATE_NULL, then
 * KL_LIST_E_UPDATE_REFUSED for a sorted list, KL_LIST_END without a
 * current cell, KL_LIST_E_UPDATE_REFUSED when it was deleted,
 * KL_LIST_E_NULL_ARGUMENT for a null id, KL_LIST_E_NO_MEMORY. */
VERSIT_API int32_t KL_ListUpdateCurrent(KL_HLIST list, const void *id, const void *data);

/* KL_ListUpdateCurrent without the sorted-list refusal: the caller keeps
 * the order. */
VERSIT_API int32_t KL_ListForceUpdateCurrent(KL_HLIST list, const void *id, const void *data);

/* Deletes every cell KL_ListFind would match. A deleted current cell
 * leaves the cursor on the cell before it, as KL_ListDeleteCurrent does.
 * KL_LIST_NOT_FOUND when nothing was deleted; KL_LIST_E_NULL_ARGUMENT. */
VERSIT_API int32_t KL_ListDeleteFrom(KL_HLIST list, const void *id, const void *data);

/* Deletes the current cell; the cell before it becomes current and the
 * current cell counts as deleted until the cursor moves.
 * KL_LIST_E_DELETE_CURRENT_NULL, KL_LIST_END, KL_LIST_E_ALREADY_DELETED. */
VERSIT_API int32_t KL_ListDeleteCurrent(KL_HLIST list);

/* ------------------------------------------------------------------------
 * Flags and sizes.
 */

/* Returns 1 when every bit of `flags` is set, else 0 (also when the flags
 * cannot be read); *result gets the result of reading them. */
VERSIT_API int32_t KL_ListFlagDetect(KL_HLIST list, uint32_t flags, int32_t *result);

/* *value = count, data size, flags or id size (selector 0 to 3); other
 * selectors leave it and return 0. Null list: *value = 0,
 * KL_LIST_E_VALUE_NULL. */
VERSIT_API int32_t KL_ListGetValue(KL_HLIST list, uint32_t *value, uint32_t selector);
VERSIT_API int32_t KL_ListGetElemNum(KL_HLIST list, uint32_t *value);
VERSIT_API int32_t KL_ListGetDataSize(KL_HLIST list, uint32_t *value);
VERSIT_API int32_t KL_ListGetFlags(KL_HLIST list, uint32_t *value);
VERSIT_API int32_t KL_ListGetIdSize(KL_HLIST list, uint32_t *value);

/* The bytes a cell would give this data part or id: the list's size, or
 * for text the smaller of that and the text length + 1 (null text counts
 * as empty). KL_LIST_E_NULL_ARGUMENT. */
VERSIT_API int32_t KL_ListGetElemDataSize(KL_HLIST list, uint32_t *size, const void *data);
VERSIT_API int32_t KL_ListGetElemIdSize(KL_HLIST list, uint32_t *size, const void *id);

/* A buffer for one id (selector 3: id size + 1 bytes) or one data part
 * (selector 1: data size + 1 bytes), stored in both outputs (the handle
 * and the address are the same); release it with KL_ListFree.
 * KL_LIST_E_NULL_ARGUMENT (null list, or both outputs null),
 * KL_LIST_E_ALLOC_SELECTOR, KL_LIST_E_ALLOC_NO_MEMORY. */
VERSIT_API int32_t KL_ListAlloc(KL_HLIST list, void **handleOut, void **addressOut,
                                uint32_t selector);
VERSIT_API void KL_ListFree(void *handle);

/* 0 when both lists have the same id size, data size and compare
 * functions; KL_LIST_E_TYPE_MISMATCH; KL_LIST_E_VERIFY_NULL. */
VERSIT_API int32_t KL_ListVerifyType(KL_HLIST a, KL_HLIST b);

/* ------------------------------------------------------------------------
 * Whole lists: flags, sorting, merging and selection. Sorting and a
 * change of compare functions exchange the contents of cells, not the
 * cells: the cursor stays on the same cells.
 */

/* Sets (on = 1) or clears (on = 0) KL_LIST_SORTED, KL_LIST_UNIQUE or
 * KL_LIST_MOVE_TO_FRONT. Setting KL_LIST_SORTED sorts the list and returns
 * the sort's result (the flag stays even when the sort is refused).
 * Setting KL_LIST_UNIQUE returns KL_LIST_DUPLICATE, and leaves the flag
 * off, when the list holds an id twice. KL_LIST_E_FLAG, KL_LIST_E_FLAG_NULL. */
VERSIT_API int32_t KL_ListSetFlag(KL_HLIST list, uint32_t flag, uint32_t on);

/* Sorts into ascending KL_ListCmpCell order (not stable) with the given
 * compare functions, the list's own where null; the list's own stay
 * installed afterwards. KL_LIST_NOT_SORTABLE for text ids or data, or for
 * a sorted list given a compare function. KL_LIST_E_SORT_NULL. */
VERSIT_API int32_t KL_ListQuickSort(KL_HLIST list, KL_ListCmpFct idCompare,
                                    KL_ListCmpFct dataCompare);

/* Installs the non-null compare functions. A KL_LIST_UNIQUE list that
 * would then hold an id twice gets its previous functions back and
 * KL_LIST_DUPLICATE; a sorted list is sorted again (that result returned).
 * KL_LIST_E_CMPFCT_NULL. */
VERSIT_API int32_t KL_ListChangeCmpFct(KL_HLIST list, KL_ListCmpFct idCompare,
                                       KL_ListCmpFct dataCompare);

/* Adds the source cells that `select` takes (null: every cell) to the
 * destination, in source order: by KL_ListAddTo into a sorted
 * destination, else appended. The destination's uniqueness rules apply;
 * KL_LIST_DUPLICATE stops the merge. The source's order and cursor are
 * kept; a list merged into itself offers the cells it held at the start.
 * KL_ListVerifyType's codes first; other failures stop the merge. */
VERSIT_API int32_t KL_ListMergeSelect(KL_HLIST destination, KL_HLIST source,
                                      KL_ListSelectFct select, void *user);
VERSIT_API int32_t KL_ListMerge(KL_HLIST destination, KL_HLIST source);

/* A new list of the source's type (sizes, flags, compare functions) holding
 * the selected cells. The new list is stored even when the merge fails, so
 * the caller destroys it in every case but KL_LIST_E_SELECTION_NULL (null
 * source; *list = null) and a failing KL_ListCreate. */
VERSIT_API int32_t KL_ListGetSelection(KL_HLIST *list, KL_HLIST source, KL_ListSelectFct select,
                                       void *user);
VERSIT_API int32_t KL_ListCopy(KL_HLIST *list, KL_HLIST source);
/* Selects the cells whose id equals `id`. */
VERSIT_API int32_t KL_ListGetIdSelection(KL_HLIST *list, KL_HLIST source, const void *id);

/* Selection functions: every cell; cells whose id equals the id `user`
 * points to. */
VERSIT_API int32_t KL_ListAlwaysTrueFct(KL_HLIST list, const void *id, const void *data,
                                        void *user);
VERSIT_API int32_t KL_ListIdCmpFct(KL_HLIST list, const void *id, const void *data, void *user);

VERSIT_END_DECLS

#endif /* VERSIT_LIST_H */
