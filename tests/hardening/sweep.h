// The allocation-failure sweep over the exported interface: each family of
// functions has a table of rows, one representative call per row, run with
// the 1st, 2nd, ... allocation failing until it goes through untouched.
// A row names the exported functions its call exercises; the coverage test
// fails for any exported function that no row names.
#pragma once

#include <initializer_list>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"

namespace sweep {

// Whether a row's call allocates: a call that must not allocate has no
// failure point at all (it cannot fail for want of memory); one that does
// must meet at least one, or the row exercises nothing.
enum Allocates { kNever, kSome };

template <class Fixture> struct Row {
    const char *exports; // blank-separated names
    Allocates allocates;
    void (*run)(Fixture &);
};

// Every name some row claims.
std::set<std::string> &covered();
void claim(const char *exports);

// Registers the names of a table, for the coverage test; use at namespace
// scope: `const bool registered = sweep::claims(kRows);`.
template <class Fixture, size_t N> bool claims(const Row<Fixture> (&rows)[N]) {
    for (const Row<Fixture> &row : rows)
        claim(row.exports);
    return true;
}

template <class Fixture, size_t N> void run(Fixture &fixture, const Row<Fixture> (&rows)[N]) {
    for (const Row<Fixture> &row : rows) {
        SCOPED_TRACE(row.exports);
        const int points = alloc_hook::sweep([&] { row.run(fixture); });
        if (row.allocates == kNever) {
            EXPECT_EQ(points, 0) << "allocates";
        } else {
            EXPECT_GT(points, 0) << "no allocation was met";
        }
    }
}

// The result of a call of the current run: `success` when no allocation
// failed, else one of the documented out-of-memory results.
void expect(int32_t result, int32_t success, std::initializer_list<int32_t> outOfMemory);

// The same for a call that hands out a pointer: null exactly when an
// allocation failed.
inline void expectMade(const void *made) { EXPECT_EQ(made == nullptr, alloc_hook::failed()); }

// A record handed out, checked as above and released.
template <class R> void made(R *record, void (*destroy)(R **)) {
    expectMade(record);
    destroy(&record);
}
template <class R> void made(R *record, void (*destroy)(R *)) {
    expectMade(record);
    destroy(record);
}

// A call that must give `expected`; texts compare by their characters.
template <class A, class B> void is(const A &got, const B &expected) {
    if constexpr (std::is_convertible_v<A, const char *> && std::is_convertible_v<B, const char *>)
        EXPECT_STREQ(got, expected);
    else
        EXPECT_EQ(got, expected);
}

// A row whose call is one statement over the fixture `f`.
#define SWEEP_ROW(allocates, names, ...)                                                           \
    {                                                                                              \
        names, sweep::allocates, [](auto &f) {                                                     \
            (void)f;                                                                               \
            __VA_ARGS__;                                                                           \
        }                                                                                          \
    }
#define NEVER(names, ...) SWEEP_ROW(kNever, names, __VA_ARGS__)
#define SOME(names, ...) SWEEP_ROW(kSome, names, __VA_ARGS__)
// Rows named by the one function they call: `args` in parentheses.
#define IS(fn, args, ...) NEVER(#fn, sweep::is(fn args, __VA_ARGS__))
#define MADE(fn, args, ...) SOME(#fn, sweep::made(fn args, __VA_ARGS__))

} // namespace sweep
