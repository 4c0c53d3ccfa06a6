// A C++ program that opens an address book through the client library's
// stand-in, as installed: its header under versit/, its library as
// versit::versit_calapi.
#include <cstdio>

#include <versit/calapi32.h>

int main() {
    CalapiClient *book = nullptr;
    if (CalapiOpen(":memory:", 0, 0, &book) != 0 || book == nullptr) return 1;
    ABEntryId id{};
    const int32_t none = ABEntryGetNext(book, nullptr, &id, nullptr);
    std::printf("empty book: %s\n", CalapiResultName(none));
    CalapiClose(&book);
    return none == CALAPI_END && book == nullptr ? 0 : 1;
}
