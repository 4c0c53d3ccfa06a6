// Long random sequences of adds, deletes, cursor moves and updates, run on a
// list and on a plain vector model of the same rules; after every step the
// chain, the counts and the cursor must agree.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "list/klist.h"
#include "versit_list.h"

namespace {

struct Cell {
    int uid;
    std::string id;
    std::string data;
};

// The list's rules over a vector; the cursor is held as cell uids (0: none).
struct Model {
    uint32_t flags;
    uint32_t idSize;
    uint32_t dataSize;
    std::vector<Cell> cells;
    int current = 0;
    int previous = 0;
    int nextUid = 1;

    bool has(uint32_t f) const { return (flags & f) != 0; }
    bool textId() const { return has(KL_LIST_STRING_ID); }
    bool textData() const { return has(KL_LIST_STRING_DATA); }

    // The default compares see at most `size` bytes; a text argument longer
    // than a cell's cut text therefore differs from it.
    static int cmp(const std::string &a, const std::string &b, uint32_t size) {
        const int v = a.substr(0, size).compare(b.substr(0, size));
        return (v > 0) - (v < 0);
    }
    int cmpId(const std::string &a, const std::string &b) const { return cmp(a, b, idSize); }
    int cmpData(const std::string &a, const std::string &b) const { return cmp(a, b, dataSize); }
    // Fixed parts: the bytes; text: cut to size - 1.
    std::string idForm(const std::string &raw) const {
        return textId() ? raw.substr(0, idSize - 1) : raw;
    }
    std::string dataForm(const std::string *raw) const {
        if (dataSize == 0) return "";
        if (raw == nullptr) return textData() ? "" : std::string(dataSize, '\0');
        return textData() ? raw->substr(0, dataSize - 1) : *raw;
    }

    int pos(int uid) const {
        for (size_t i = 0; i < cells.size(); ++i)
            if (cells[i].uid == uid) return static_cast<int>(i);
        return -1;
    }
    int uidAt(int i) const {
        return i >= 0 && i < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(i)].uid : 0;
    }
    int find(const std::string &id, const std::string *data) const {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cmpId(cells[i].id, id) != 0) continue;
            if (data == nullptr || cmpData(cells[i].data, *data) == 0) return static_cast<int>(i);
        }
        return -1;
    }

    // index: position the new cell takes.
    void attach(int index, const std::string &id, const std::string &data) {
        const int following = uidAt(index);
        const int uid = nextUid++;
        cells.insert(cells.begin() + index, Cell{uid, id, data});
        if (current != 0 && current == following && previous != current) previous = uid;
    }
    void detach(int index) {
        const int uid = uidAt(index);
        const int before = uidAt(index - 1);
        cells.erase(cells.begin() + index);
        if (previous == uid) previous = before;
        if (current == uid) current = before;
    }
    // 0 go on, DUPLICATE, or 1: silently present.
    int admit(const std::string &id) const {
        if (!has(KL_LIST_UNIQUE | KL_LIST_UNIQUE_SILENT) || find(id, nullptr) < 0) return 0;
        return has(KL_LIST_UNIQUE) ? KL_LIST_DUPLICATE : 1;
    }

    int addTo(const std::string &raw, const std::string *data) {
        if (int rc = admit(raw)) return rc == 1 ? 0 : rc;
        int at = 0;
        if (has(KL_LIST_SORTED)) {
            at = static_cast<int>(cells.size());
            const bool idsOnly = has(KL_LIST_UNIQUE | KL_LIST_UNIQUE_SILENT);
            for (size_t i = 0; i < cells.size(); ++i) {
                int c = cmpId(cells[i].id, raw);
                if (c == 0 && !idsOnly) c = cmpData(cells[i].data, data ? *data : dataForm(data));
                if (c >= 0) {
                    at = static_cast<int>(i);
                    break;
                }
            }
        }
        attach(at, idForm(raw), dataForm(data));
        return 0;
    }
    // Beside the reference cell (after: at the end, before: at the front
    // when there is none).
    int addBeside(bool after, const std::string &ref, const std::string *refData,
                  const std::string &raw, const std::string *data) {
        if (has(KL_LIST_SORTED))
            return after ? KL_LIST_E_SORTED_ADD_AFTER : KL_LIST_E_SORTED_ADD_BEFORE;
        const std::string id = idForm(raw);
        if (int rc = admit(raw)) return rc == 1 ? 0 : rc;
        const int r = find(ref, refData);
        const int at = after ? (r < 0 ? static_cast<int>(cells.size()) : r + 1) : (r < 0 ? 0 : r);
        attach(at, id, dataForm(data));
        return 0;
    }
    int addLast(const std::string &raw, const std::string *data) {
        const std::string id = idForm(raw);
        if (int rc = admit(raw)) return rc == 1 ? 0 : rc;
        if (has(KL_LIST_SORTED)) return KL_LIST_E_SORTED_ADD_LAST;
        attach(static_cast<int>(cells.size()), id, dataForm(data));
        return 0;
    }
    int deleteFrom(const std::string &raw, const std::string *data) {
        bool any = false;
        for (int i; (i = find(raw, data)) >= 0; any = true)
            detach(i);
        return any ? 0 : KL_LIST_NOT_FOUND;
    }
    int deleteCurrent() {
        if (current == 0) return KL_LIST_END;
        if (previous == current) return KL_LIST_E_ALREADY_DELETED;
        detach(pos(current));
        return 0;
    }
    const Cell *getFirst() {
        previous = 0;
        current = uidAt(0);
        return current == 0 ? nullptr : &cells[0];
    }
    const Cell *getNext() {
        if (current == 0) return getFirst();
        previous = current;
        current = uidAt(pos(current) + 1);
        return current == 0 ? nullptr : &cells[static_cast<size_t>(pos(current))];
    }
    const Cell *getPrev() {
        if (previous == 0) return nullptr;
        current = previous;
        previous = uidAt(pos(current) - 1);
        return &cells[static_cast<size_t>(pos(current))];
    }
    const Cell *getLast() {
        current = cells.empty() ? 0 : cells.back().uid;
        previous = cells.size() < 2 ? 0 : cells[cells.size() - 2].uid;
        return cells.empty() ? nullptr : &cells.back();
    }
    int update(const std::string &raw, const std::string *data, bool force) {
        if (!force && has(KL_LIST_SORTED)) return KL_LIST_E_UPDATE_REFUSED;
        if (current == 0) return KL_LIST_END;
        if (previous == current) return KL_LIST_E_UPDATE_REFUSED;
        Cell &c = cells[static_cast<size_t>(pos(current))];
        c.id = idForm(raw);
        if (data != nullptr) c.data = dataForm(data);
        return 0;
    }
    int changeData(const std::string &raw, const std::string *old, const std::string *fresh) {
        if (has(KL_LIST_SORTED)) return KL_LIST_E_SORTED_CHANGE;
        const int i = find(raw, old);
        if (i < 0) return KL_LIST_NOT_FOUND;
        if (fresh != nullptr) {
            cells[static_cast<size_t>(i)].id = idForm(raw);
            cells[static_cast<size_t>(i)].data = dataForm(fresh);
        }
        return 0;
    }
    const Cell *get(const std::string &raw) {
        const int i = find(raw, nullptr);
        if (i < 0) return nullptr;
        const Cell c = cells[static_cast<size_t>(i)];
        if (has(KL_LIST_MOVE_TO_FRONT) && i > 0) {
            detach(i);
            const int uid = nextUid;
            attach(0, c.id, c.data);
            cells[0].uid = c.uid; // the same cell, moved
            if (previous == uid) previous = c.uid;
        }
        return &cells[static_cast<size_t>(pos(c.uid))];
    }
};

struct Config {
    const char *name;
    uint32_t flags;
    uint32_t idSize;
    uint32_t dataSize;
    int idRange; // distinct ids drawn
    int steps;
};

class Runner {
  public:
    Runner(const Config &c, uint32_t seed)
        : cfg_(c), model_{c.flags, c.idSize, c.dataSize, {}}, rng_(seed) {
        EXPECT_EQ(KL_ListCreate(&list_, c.idSize, c.dataSize, c.flags, nullptr, nullptr), 0);
        model_.flags = list_->flags;
    }
    ~Runner() { KL_ListDestroy(&list_); }

    void run() {
        for (int step = 0; step < cfg_.steps; ++step) {
            const std::string what = one();
            SCOPED_TRACE(std::string(cfg_.name) + " step " + std::to_string(step) + ": " + what);
            compare();
            if (::testing::Test::HasFailure()) return;
        }
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::string rawId() {
        const int v = pick(cfg_.idRange);
        if (model_.textId())
            return "k" + std::to_string(v) + std::string(static_cast<size_t>(pick(3)), 'z');
        std::string s(cfg_.idSize, '\0');
        for (uint32_t i = 0; i < cfg_.idSize && i < 4; ++i)
            s[i] = static_cast<char>(v >> (8 * i));
        return s;
    }
    std::string rawData() {
        if (model_.textData())
            return std::string(static_cast<size_t>(pick(int(cfg_.dataSize) + 3)),
                               char('a' + pick(3)));
        std::string s(cfg_.dataSize, '\0');
        for (char &ch : s)
            ch = static_cast<char>(pick(3));
        return s;
    }
    // Arguments in the list's form: text NUL-terminated, fixed as is.
    static const void *arg(const std::string *s) { return s == nullptr ? nullptr : s->c_str(); }

    void expectOutput(int rc, const Cell *expected, int modelRc) {
        EXPECT_EQ(rc, modelRc);
        if (expected == nullptr) return;
        const size_t idLen = model_.textId() ? std::strlen(id_.data()) : cfg_.idSize;
        EXPECT_EQ(std::string(id_.data(), idLen), expected->id);
        if (cfg_.dataSize == 0) return;
        const size_t dataLen = model_.textData() ? std::strlen(data_.data()) : cfg_.dataSize;
        EXPECT_EQ(std::string(data_.data(), dataLen), expected->data);
    }
    // A walk's answer; GetFirst and GetNext also zero the id at the end.
    void walk(int rc, const Cell *c, bool zeroedAtEnd) {
        if (c == nullptr && zeroedAtEnd) expectEnd(rc);
        expectOutput(rc, c, c == nullptr ? KL_LIST_END : 0);
    }
    void expectEnd(int rc) {
        EXPECT_EQ(rc, KL_LIST_END);
        for (uint32_t i = 0; i < cfg_.idSize; ++i)
            EXPECT_EQ(id_[i], 0) << "id output zeroed";
    }

    std::string one() {
        id_.assign(cfg_.idSize + 1, '\x55');
        data_.assign(cfg_.dataSize + 1, '\x55');
        const std::string id = rawId();
        const std::string ref = rawId();
        const std::string d1 = rawData();
        const std::string d2 = rawData();
        const std::string *data = pick(8) == 0 ? nullptr : &d1;
        const std::string *other = pick(3) == 0 ? nullptr : &d2;
        switch (pick(16)) {
        case 0:
        case 1:
            EXPECT_EQ(KL_ListAddTo(list_, arg(&id), arg(data)), model_.addTo(id, data));
            return "AddTo";
        case 2:
            EXPECT_EQ(KL_ListAddLast(list_, arg(&id), arg(data)), model_.addLast(id, data));
            return "AddLast";
        case 3:
            EXPECT_EQ(KL_ListAddAfter(list_, arg(&ref), arg(other), arg(&id), arg(data)),
                      model_.addBeside(true, ref, other, id, data));
            return "AddAfter";
        case 4:
            EXPECT_EQ(KL_ListAddBefore(list_, arg(&ref), arg(other), arg(&id), arg(data)),
                      model_.addBeside(false, ref, other, id, data));
            return "AddBefore";
        case 5:
            EXPECT_EQ(KL_ListDeleteFrom(list_, arg(&id), arg(other)), model_.deleteFrom(id, other));
            return "DeleteFrom";
        case 6:
            EXPECT_EQ(KL_ListDeleteCurrent(list_), model_.deleteCurrent());
            return "DeleteCurrent";
        case 7:
            walk(KL_ListGetFirst(list_, id_.data(), data_.data()), model_.getFirst(), true);
            return "GetFirst";
        case 8:
        case 9:
            walk(KL_ListGetNext(list_, id_.data(), data_.data()), model_.getNext(), true);
            return "GetNext";
        case 10:
            walk(KL_ListGetPrev(list_, id_.data(), data_.data()), model_.getPrev(), false);
            return "GetPrev";
        case 11:
            walk(KL_ListGetLast(list_, id_.data(), data_.data()), model_.getLast(), false);
            return "GetLast";
        case 12: {
            const bool force = pick(2) == 0;
            const int rc = force ? KL_ListForceUpdateCurrent(list_, arg(&id), arg(data))
                                 : KL_ListUpdateCurrent(list_, arg(&id), arg(data));
            EXPECT_EQ(rc, model_.update(id, data, force));
            return force ? "ForceUpdateCurrent" : "UpdateCurrent";
        }
        case 13:
            EXPECT_EQ(KL_ListChangeData(list_, arg(&id), arg(other), arg(data)),
                      model_.changeData(id, other, data));
            return "ChangeData";
        case 14: {
            const int rc = KL_ListGet(list_, arg(&id), data_.data());
            const Cell *c = model_.get(id);
            EXPECT_EQ(rc, c == nullptr ? KL_LIST_NOT_FOUND : 0);
            if (c != nullptr && cfg_.dataSize > 0) {
                const size_t n = model_.textData() ? std::strlen(data_.data()) : cfg_.dataSize;
                EXPECT_EQ(std::string(data_.data(), n), c->data);
            }
            return "Get";
        }
        default:
            if (pick(40) == 0) {
                EXPECT_EQ(KL_ListDeleteAll(list_), 0);
                model_.cells.clear();
                model_.current = model_.previous = 0;
                return "DeleteAll";
            }
            KL_HCELL before = nullptr;
            KL_HCELL cell = nullptr;
            const int rc = KL_ListFind(list_, arg(&id), arg(other), &before, &cell);
            const int i = model_.find(id, other);
            EXPECT_EQ(rc, i < 0 ? KL_LIST_NOT_FOUND : 0);
            if (i >= 0) {
                EXPECT_EQ(indexOf(cell), i);
                EXPECT_EQ(indexOf(before), i - 1);
            }
            return "Find";
        }
    }

    int indexOf(const KL_ListCell *cell) const {
        int i = 0;
        for (const KL_ListCell *c = list_->first; c != nullptr; c = c->next, ++i)
            if (c == cell) return i;
        return -1;
    }

    void compare() {
        const KL_ListHeader *h = list_;
        ASSERT_EQ(h->count, model_.cells.size());
        const KL_ListCell *c = h->first;
        const KL_ListCell *lastSeen = nullptr;
        for (const Cell &m : model_.cells) {
            ASSERT_NE(c, nullptr);
            auto *cell = const_cast<KL_ListCell *>(c);
            const char *id = reinterpret_cast<const char *>(klist::idOf(h, cell));
            const char *data = reinterpret_cast<const char *>(klist::dataOf(cell));
            EXPECT_EQ(std::string(id, model_.textId() ? std::strlen(id) : cfg_.idSize), m.id);
            if (cfg_.dataSize > 0) {
                EXPECT_EQ(std::string(data, model_.textData() ? std::strlen(data) : cfg_.dataSize),
                          m.data);
            }
            lastSeen = c;
            c = c->next;
        }
        EXPECT_EQ(c, nullptr);
        EXPECT_EQ(h->last, lastSeen);
        EXPECT_EQ(indexOf(h->current), model_.pos(model_.current));
        EXPECT_EQ(indexOf(h->previous), model_.pos(model_.previous));
        const uint32_t indexed = klist::indexSize(list_);
        EXPECT_TRUE(indexed == 0 || indexed == h->count) << indexed;
    }

    Config cfg_;
    Model model_;
    std::mt19937 rng_;
    KL_HLIST list_ = nullptr;
    std::vector<char> id_;
    std::vector<char> data_;
};

TEST(ListModel, RandomOperationsMatchTheModel) {
    const Config configs[] = {
        {"plain", 0, 4, 4, 12, 20000},
        {"unique", KL_LIST_UNIQUE, 4, 4, 12, 20000},
        // Enough distinct ids, and adds, for the id index to come and go.
        {"unique silent, grown", KL_LIST_UNIQUE_SILENT, 4, 4, 400, 20000},
        {"sorted", KL_LIST_SORTED, 4, 4, 10, 20000},
        {"sorted unique silent", KL_LIST_SORTED | KL_LIST_UNIQUE_SILENT, 4, 4, 60, 20000},
        {"text", KL_LIST_STRING_ID | KL_LIST_STRING_DATA, 6, 8, 12, 20000},
        {"move to front", KL_LIST_MOVE_TO_FRONT, 4, 4, 10, 20000},
        {"text ids, no data, unique", KL_LIST_STRING_ID | KL_LIST_UNIQUE, 5, 0, 300, 20000},
        {"text data, unique silent", KL_LIST_STRING_DATA | KL_LIST_UNIQUE_SILENT, 4, 7, 200, 20000},
        {"odd sizes", 0, 3, 5, 9, 20000},
    };
    uint32_t seed = 1;
    for (const Config &c : configs) {
        Runner r(c, seed++);
        r.run();
        if (::testing::Test::HasFailure()) return;
    }
}

} // namespace
