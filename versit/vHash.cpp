// Chained string hash tables.
#include <cstdlib>
#include <cstring>

#include "platform/crt.h"
#include "versit/vHash.h"
#include "versit_core.h"

namespace {

// Any hash function may be the caller's own; never index with its answer
// unchecked.
vHashEntry **bucketOf(const vHashTable *table, const char *key) {
    int32_t index = table->hash(key, table->bucketCount) % table->bucketCount;
    if (index < 0) index += table->bucketCount;
    return &table->buckets[index];
}

void releaseEntry(const vHashTable *table, vHashEntry *entry) {
    std::free(entry->key);
    if (entry->data != nullptr) {
        if (table->release != nullptr)
            table->release(entry->data);
        else
            std::free(entry->data);
    }
    std::free(entry);
}

} // namespace

extern "C" {

VERSIT_API int32_t VLIB_symbolHash(const char *key, int32_t bucketCount) {
    return vhash::foldHash(key, bucketCount, [](char c) { return static_cast<signed char>(c); });
}

VERSIT_API int32_t VLIB_symbolCaseHash(const char *key, int32_t bucketCount) {
    return vhash::caseHash(key, bucketCount);
}

VERSIT_API vHashTable *VLIB_newHashTable(int32_t bucketCount, vHashFunction hash,
                                         vCompareFunction compare, vReleaseFunction release) {
    if (hash == nullptr || compare == nullptr || bucketCount < 1) return nullptr;
    auto *table = static_cast<vHashTable *>(std::malloc(sizeof(vHashTable)));
    if (table == nullptr) return nullptr;
    table->buckets = static_cast<vHashEntry **>(
        std::calloc(static_cast<size_t>(bucketCount), sizeof(vHashEntry *)));
    if (table->buckets == nullptr) {
        std::free(table);
        return nullptr;
    }
    table->bucketCount = bucketCount;
    table->hash = hash;
    table->compare = compare;
    table->release = release;
    return table;
}

VERSIT_API int32_t VLIB_insert(vHashTable *table, const char *key, const void *data, int32_t size) {
    if (table == nullptr || key == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (data == nullptr)
        size = 0;
    else if (size < 0)
        size = static_cast<int32_t>(std::strlen(static_cast<const char *>(data)));

    auto *entry = static_cast<vHashEntry *>(std::malloc(sizeof(vHashEntry)));
    char *keyCopy = crt::_strdup(key);
    auto *dataCopy = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
    if (entry == nullptr || keyCopy == nullptr || dataCopy == nullptr) {
        std::free(entry);
        std::free(keyCopy);
        std::free(dataCopy);
        return VLIB_ERR_NO_MEMORY;
    }
    if (size > 0) std::memcpy(dataCopy, data, static_cast<size_t>(size));
    dataCopy[size] = '\0';

    vHashEntry **bucket = bucketOf(table, key);
    entry->key = keyCopy;
    entry->data = dataCopy;
    entry->dataSize = size;
    entry->next = *bucket;
    *bucket = entry;
    return 0;
}

VERSIT_API vHashEntry *VLIB_findKey(const vHashTable *table, const char *key) {
    if (table == nullptr || key == nullptr) return nullptr;
    for (vHashEntry *e = *bucketOf(table, key); e != nullptr; e = e->next) {
        if (table->compare(key, e->key) == 0) return e;
    }
    return nullptr;
}

VERSIT_API vHashEntry *VLIB_findNext(const vHashTable *table, const vHashEntry *entry) {
    if (table == nullptr || entry == nullptr) return nullptr;
    for (vHashEntry *e = entry->next; e != nullptr; e = e->next) {
        if (table->compare(entry->key, e->key) == 0) return e;
    }
    return nullptr;
}

VERSIT_API void *VLIB_findDataForKey(const vHashTable *table, const char *key, int32_t *size) {
    const vHashEntry *entry = VLIB_findKey(table, key);
    if (entry == nullptr) return nullptr;
    if (size != nullptr) *size = entry->dataSize;
    return entry->data;
}

VERSIT_API int32_t VLIB_destroyKey(vHashTable *table, const char *key) {
    if (table == nullptr || key == nullptr) return VLIB_ERR_KEY_NOT_FOUND;
    for (vHashEntry **link = bucketOf(table, key); *link != nullptr; link = &(*link)->next) {
        vHashEntry *entry = *link;
        if (table->compare(key, entry->key) == 0) {
            *link = entry->next;
            releaseEntry(table, entry);
            return 0;
        }
    }
    return VLIB_ERR_KEY_NOT_FOUND;
}

VERSIT_API void VLIB_destroyHashTable(vHashTable *table) {
    if (table == nullptr) return;
    for (int32_t i = 0; i < table->bucketCount; ++i) {
        vHashEntry *entry = table->buckets[i];
        while (entry != nullptr) {
            vHashEntry *next = entry->next;
            releaseEntry(table, entry);
            entry = next;
        }
    }
    std::free(table->buckets);
    std::free(table);
}

} // extern "C"
