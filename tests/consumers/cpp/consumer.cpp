// A C++ program built against an installed versit through find_package.
#include <cstdio>

#include <versit_core.h>

int main() {
    vHashTable *table = VLIB_newHashTable(
        173, VLIB_symbolCaseHash, [](const char *a, const char *b) { return a[0] == b[0] ? 0 : 1; },
        nullptr);
    if (table == nullptr || VLIB_insert(table, "TEL", "phone", -1) != 0) return 1;
    const char *data = static_cast<const char *>(VLIB_findDataForKey(table, "TEL", nullptr));
    std::printf("%s\n", data);
    VLIB_destroyHashTable(table);
    return 0;
}
