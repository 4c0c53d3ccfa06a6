// A C++ program built against the installed interop library through
// find_package(versit COMPONENTS interop).
#include <cstdio>

#include <versit_interop.h>

int main() {
    const char *name = VI_resultName(VCAL_ERR_NO_MORE_ENTITIES);
    if (name == nullptr) return 1;
    std::printf("%s\n", name);
    return 0;
}
