// Copying selected cells from one list into another.
#include "list/klist.h"

namespace {

using namespace klist;

// The walk moves the source's cursor; the caller gets it back as it was.
class SavedCursor {
  public:
    explicit SavedCursor(KL_ListHeader *h) : h_(h), previous_(h->previous), current_(h->current) {}
    ~SavedCursor() {
        h_->previous = previous_;
        h_->current = current_;
    }
    SavedCursor(const SavedCursor &) = delete;
    SavedCursor &operator=(const SavedCursor &) = delete;

  private:
    KL_ListHeader *h_;
    KL_ListCell *previous_;
    KL_ListCell *current_;
};

} // namespace

extern "C" {

// A list merged into itself grows while it is walked: the walk visits only
// as many cells as the source held at the start, and the cell before the
// restored current one is found again, as new cells may have come in
// between.
VERSIT_API int32_t KL_ListMergeSelect(KL_HLIST destination, KL_HLIST source,
                                      KL_ListSelectFct select, void *user) {
    int32_t rc = KL_ListVerifyType(source, destination);
    if (rc != 0) return rc;
    if (source == nullptr) return KL_LIST_E_MERGE_NULL;
    ListBuffer id;
    ListBuffer data;
    if ((rc = id.allocate(source, KL_LIST_VALUE_ID_SIZE)) != 0) return rc;
    if ((rc = data.allocate(source, KL_LIST_VALUE_DATA_SIZE)) != 0) return rc;
    const KL_ListSelectFct take = select != nullptr ? select : KL_ListAlwaysTrueFct;
    const bool sorted = has(destination, KL_LIST_SORTED);
    {
        SavedCursor cursor(source);
        uint32_t left = source->count;
        rc = KL_ListGetFirst(source, id.get(), data.get());
        for (; rc == 0 && left > 0; --left) {
            if (take(source, id.get(), data.get(), user) != 0) {
                rc = sorted ? KL_ListAddTo(destination, id.get(), data.get())
                            : KL_ListAddLast(destination, id.get(), data.get());
                if (rc != 0) break;
            }
            rc = KL_ListGetNext(source, id.get(), data.get());
        }
    }
    if (destination == source && source->current != nullptr && source->previous != source->current)
        source->previous = predecessor(source, source->current);
    return rc == KL_LIST_END ? 0 : rc;
}

VERSIT_API int32_t KL_ListMerge(KL_HLIST destination, KL_HLIST source) {
    return KL_ListMergeSelect(destination, source, KL_ListAlwaysTrueFct, nullptr);
}

VERSIT_API int32_t KL_ListGetSelection(KL_HLIST *list, KL_HLIST source, KL_ListSelectFct select,
                                       void *user) {
    if (source == nullptr) {
        if (list != nullptr) *list = nullptr;
        return KL_LIST_E_SELECTION_NULL;
    }
    const int32_t rc = KL_ListCreate(list, source->idSize, source->dataSize, source->flags,
                                     source->idCompare, source->dataCompare);
    if (rc != 0) return rc;
    return KL_ListMergeSelect(*list, source, select, user);
}

VERSIT_API int32_t KL_ListCopy(KL_HLIST *list, KL_HLIST source) {
    return KL_ListGetSelection(list, source, KL_ListAlwaysTrueFct, nullptr);
}

VERSIT_API int32_t KL_ListGetIdSelection(KL_HLIST *list, KL_HLIST source, const void *id) {
    return KL_ListGetSelection(list, source, KL_ListIdCmpFct, const_cast<void *>(id));
}

VERSIT_API int32_t KL_ListAlwaysTrueFct(KL_HLIST, const void *, const void *, void *) { return 1; }

// No id selects nothing, as no cell matches a null id in a lookup.
VERSIT_API int32_t KL_ListIdCmpFct(KL_HLIST list, const void *id, const void *, void *user) {
    if (user == nullptr) return 0;
    return KL_ListCmpId(list, id, user, nullptr) == 0 ? 1 : 0;
}

} // extern "C"
