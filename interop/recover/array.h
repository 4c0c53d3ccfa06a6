// A growing array of plain records in malloc'ed memory: the library never
// throws, so a failed growth is a false return, not an exception.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace interop {

template <class T> class Array {
    static_assert(std::is_trivially_copyable<T>::value, "plain records only");

  public:
    Array() = default;
    ~Array() { std::free(items_); }
    Array(const Array &) = delete;
    Array &operator=(const Array &) = delete;

    bool push(const T &item) {
        if (size_ == capacity_ && !grow()) return false;
        items_[size_++] = item;
        return true;
    }
    // An item made from `fields` where it goes. (A record put together on
    // the stack field by field and then pushed is read back whole from
    // narrower stores than the read, which the processor cannot forward.)
    template <class... Fields> bool emplace(Fields... fields) {
        if (size_ == capacity_ && !grow()) return false;
        ::new (static_cast<void *>(items_ + size_)) T{fields...};
        ++size_;
        return true;
    }
    size_t size() const { return size_; }
    const T *data() const { return items_; }
    T &operator[](size_t i) { return items_[i]; }
    const T &operator[](size_t i) const { return items_[i]; }
    void clear() { size_ = 0; }
    // Drops the first `count` items.
    void dropFirst(size_t count) {
        if (count > size_) count = size_;
        if (count == 0) return;
        std::memmove(static_cast<void *>(items_), items_ + count, (size_ - count) * sizeof(T));
        size_ -= count;
    }
    // Keeps the first `count` items.
    void keepFirst(size_t count) {
        if (count < size_) size_ = count;
    }
    // Keeps the leading items below `limit` (the array is in ascending order).
    void truncate(const T &limit) {
        while (size_ > 0 && !(items_[size_ - 1] < limit))
            --size_;
    }

  private:
    bool grow() {
        const size_t grown = capacity_ == 0 ? 16 : capacity_ * 2;
        // T may itself be a pointer: the array then holds pointers.
        void *bigger =
            std::realloc(items_, grown * sizeof(T)); // NOLINT(bugprone-sizeof-expression)
        if (bigger == nullptr) return false;
        items_ = static_cast<T *>(bigger);
        capacity_ = grown;
        return true;
    }

    T *items_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

} // namespace interop
