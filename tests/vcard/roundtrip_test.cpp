// A card written by the export and imported again has the same properties,
// parameters and values, in the reverse order an import produces; export,
// import and export twice more gives the first text back byte for byte.
//
// The cards are generated here with the vCard interface: every standard
// property, grouped and "X-" names, TYPE, VALUE and X- parameters,
// QUOTED-PRINTABLE and BASE64 values (any bytes), and nested AGENT cards.
// Plain values avoid what no text can carry: line breaks, quotes (which
// make a value an escaped one), a leading blank, an "=" (a fold may fall
// right after it, and an "=" ending a line is read as a soft line break).
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vcard_support.h"

namespace {

class CardMaker {
  public:
    CardMaker(VCardContext *context, uint32_t seed) : context_(context), rng_(seed) {}

    vComponent *card(int depth) {
        vComponent *c = nullptr;
        if (depth == 0 && chance(50))
            EXPECT_EQ(VCARD_createCard(context_, &c), 0);
        else
            c = VLIB_new_vComponent(VCARD_COMP_VCARD, "VCARD", nullptr, nullptr, nullptr);
        for (int32_t code = VCARD_PROP_FN; code <= VCARD_PROP_KEY; ++code) {
            if (depth == 0 || chance(30)) standard(c, code);
        }
        const int extras = pick(4);
        for (int i = 0; i < extras; ++i)
            extension(c);
        if (depth < 2 && chance(40)) {
            EXPECT_EQ(VCARD_addProperty(context_, c, VCARD_PROP_AGENT, "", -1, nullptr), 0);
            VLIB_add_vComponent_subcomponent(c, card(depth + 1));
        }
        return c;
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }

    std::string plain() {
        static const char kChars[] = "abcXYZ019 ;:,.-/\\@!#$%&'()*+<>?[]^_{|}~=\t\x80\xe9\xff";
        std::string s;
        const int n = pick(5) == 0 ? pick(200) : pick(20);
        for (int i = 0; i < n; ++i)
            s += kChars[pick(sizeof kChars - 1)];
        s.erase(std::remove(s.begin(), s.end(), '='), s.end());
        while (!s.empty() && (s[0] == ' ' || s[0] == '\t'))
            s.erase(0, 1);
        return s;
    }

    std::string bytes(bool withNul) {
        std::string s;
        const int n = pick(4) == 0 ? pick(300) : pick(12);
        for (int i = 0; i < n; ++i)
            s += static_cast<char>(withNul ? pick(256) : 1 + pick(255));
        if (!withNul && !s.empty() && s[0] == ' ') s[0] = 'x';
        return s;
    }

    std::string word() {
        static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-";
        std::string s = "X-";
        const int n = 1 + pick(10);
        for (int i = 0; i < n; ++i)
            s += kChars[pick(sizeof kChars - 1)];
        return s;
    }

    void standard(vComponent *c, int32_t code) {
        static const int32_t kTypes[] = {VCARD_PVAL_WORK,  VCARD_PVAL_HOME, VCARD_PVAL_PREF,
                                         VCARD_PVAL_VOICE, VCARD_PVAL_FAX,  VCARD_PVAL_INTERNET,
                                         VCARD_PVAL_GIF,   VCARD_PVAL_X400};
        std::vector<int32_t> types;
        const int n = pick(3);
        for (int i = 0; i < n; ++i)
            types.push_back(kTypes[pick(8)]);
        const int kind = pick(10);
        const int32_t encoding = kind < 2   ? VCARD_PVAL_QUOTED_PRINTABLE
                                 : kind < 4 ? VCARD_PVAL_BASE64
                                            : VCARD_PVAL_ABSENT;
        const std::string value = encoding == VCARD_PVAL_QUOTED_PRINTABLE ? bytes(false)
                                  : encoding == VCARD_PVAL_BASE64         ? bytes(true)
                                                                          : plain();
        const int32_t length =
            encoding == VCARD_PVAL_BASE64 ? static_cast<int32_t>(value.size()) : -1;
        const int32_t valueType = chance(10) ? VCARD_PVAL_INLINE + pick(4) : VCARD_PVAL_ABSENT;
        ASSERT_EQ(VCARD_addCompleteProperty(context_, c, code, value.c_str(), length, types.data(),
                                            n, valueType, encoding),
                  0);
        vProperty *p = c->propertyList;
        if (chance(15))
            VLIB_set_vProperty_name(
                p, ("item" + std::to_string(pick(3)) + "." + std::string(p->name)).c_str());
        if (chance(15)) VCARD_addParameter(context_, p, VCARD_PARM_TYPE, word().c_str());
        if (chance(10)) VCARD_addParameter(context_, p, VCARD_PARM_CHARSET, "UTF-8");
    }

    // An "X-" property, with an "X-" parameter now and then.
    void extension(vComponent *c) {
        const std::string value = plain();
        vProperty *p = VLIB_new_vProperty(
            VCARD_PROP_X, word().c_str(),
            VLIB_new_vValue(VLIB_TYPE_TEXT, value.c_str(), -1, nullptr), nullptr, nullptr);
        if (chance(50)) {
            VLIB_add_vProperty_parameter(
                p, VLIB_new_vParameter(VCARD_PARM_X, word().c_str(),
                                       VLIB_new_vValue(VLIB_TYPE_TEXT, "Some-Value", -1, nullptr),
                                       nullptr));
        }
        VLIB_add_vComponent_property(c, p);
    }

    VCardContext *context_;
    std::mt19937 rng_;
};

// The cards a card holds, at every depth, and its properties as
// name:values[parameters], in list order.
std::string shape(const vComponent *c) {
    std::string s = std::string(c->name) + "{";
    for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
        s += std::string(p->name) + std::to_string(p->propertyType) + "=";
        for (const vValue *v = p->valueList; v != nullptr; v = v->next)
            s += std::to_string(v->dataSize) + ":" + std::string(v->data, v->dataSize) + "|";
        for (const vParameter *q = p->parameterList; q != nullptr; q = q->next)
            s += std::string(";") + q->name + std::to_string(q->parameterType) +
                 (q->valueList != nullptr ? q->valueList->data : "");
        s += "\n";
    }
    for (const vComponent *k = c->subComponent; k != nullptr; k = k->next)
        s += shape(k);
    return s + "}";
}

TEST(RoundTrip, ExportImportExportIsAFixedPoint) {
    vctest::Context context;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        CardMaker maker(context, seed);
        vctest::Card card;
        card.root = maker.card(0);
        const std::string e0 = vctest::exported(context, card);
        vctest::Card c1;
        int32_t result = -1;
        vctest::import(context, c1, e0, &result);
        ASSERT_EQ(result, 0) << "seed " << seed << "\n" << e0;
        // Read twice, every list comes back in its first order.
        const std::string e1 = vctest::exported(context, c1);
        vctest::Card c2;
        vctest::import(context, c2, e1, &result);
        ASSERT_EQ(result, 0) << "seed " << seed;
        EXPECT_EQ(shape(c2), shape(card)) << "seed " << seed;
        ASSERT_EQ(vctest::exported(context, c2), e0) << "seed " << seed << "\nE1:\n" << e1;
        if (::testing::Test::HasFailure()) break;
    }
}

} // namespace
