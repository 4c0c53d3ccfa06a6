// A list destroyed at the end of its scope unless handed on: every early
// return of a caller that builds a list releases it without a line of its
// own. For the list library and the folders above it.
#pragma once

#include "versit_list.h"

namespace klist {

class ListGuard {
  public:
    ListGuard() = default;
    explicit ListGuard(KL_HLIST list) : list_(list) {}
    ~ListGuard() {
        if (list_ != nullptr) KL_ListDestroy(&list_);
    }
    ListGuard(const ListGuard &) = delete;
    ListGuard &operator=(const ListGuard &) = delete;
    // Where a creating call writes the new handle.
    KL_HLIST *out() { return &list_; }
    KL_HLIST get() const { return list_; }
    KL_HLIST release() {
        KL_HLIST list = list_;
        list_ = nullptr;
        return list;
    }

  private:
    KL_HLIST list_ = nullptr;
};

} // namespace klist
