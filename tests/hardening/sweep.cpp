#include "sweep.h"

#include <fstream>
#include <sstream>

namespace sweep {

std::set<std::string> &covered() {
    static std::set<std::string> names;
    return names;
}

void claim(const char *exports) {
    std::istringstream words(exports);
    for (std::string name; words >> name;)
        covered().insert(name);
}

void expect(int32_t result, int32_t success, std::initializer_list<int32_t> outOfMemory) {
    if (!alloc_hook::failed()) {
        EXPECT_EQ(result, success) << "no allocation failed";
        return;
    }
    const std::set<int32_t> allowed(outOfMemory);
    EXPECT_EQ(allowed.count(result), 1u) << "an allocation failed: " << std::hex << result;
}

namespace {

// Every function the library exports has a row, and every row names only
// exported functions.
TEST(SweepCoverage, EveryExportedFunctionHasARow) {
    std::set<std::string> exported;
    for (const char *path : {VERSIT_EXPORTS_FILE, VERSIT_INTEROP_EXPORTS_FILE}) {
        std::ifstream list(path);
        ASSERT_TRUE(list) << path;
        for (std::string line; std::getline(list, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            exported.insert(line);
            if (covered().count(line) == 0)
                ADD_FAILURE() << line << " has no row in tests/hardening";
        }
    }
    EXPECT_GT(exported.size(), 200u);
    for (const std::string &name : covered())
        if (exported.count(name) == 0) ADD_FAILURE() << name << " is not exported";
}

} // namespace
} // namespace sweep
