// Entry to vCard to entry gives the same record fields and streams: random
// records over every field, some of them full. What the text cannot carry is named in expected()
// below.
#include <random>

#include <gtest/gtest.h>

#include "ab_support.h"

namespace {

constexpr uint16_t kNode = 0x0A0B;
constexpr uint16_t kUser = 0x0C0D;

// Text fields: their record offset and size; `street` fields are read back
// unescaped twice.
struct TextField {
    size_t offset, size;
    bool street;
};
#define FIELD(name)                                                                                \
    TextField { offsetof(ABEntryRecord, name), sizeof(ABEntryRecord::name), false }
#define STREET(name)                                                                               \
    TextField { offsetof(ABEntryRecord, name), sizeof(ABEntryRecord::name), true }
#define PHONE(name) FIELD(name.prefix), FIELD(name.area), FIELD(name.number)
// clang-format off
const TextField kTextFields[] = {
    FIELD(familyName), FIELD(givenName), FIELD(middleName), FIELD(salutation), FIELD(date1Info),
    FIELD(date2Info), FIELD(spouseName), FIELD(timeZone), FIELD(indexedKeyword1),
    FIELD(indexedKeyword2), FIELD(otherKeyword1), FIELD(otherKeyword2), STREET(homeStreet),
    FIELD(homeCity), FIELD(homeCountry), FIELD(homeRegion), FIELD(homePostalCode),
    STREET(businessStreet), FIELD(businessCity), FIELD(businessCountry), FIELD(businessRegion),
    FIELD(businessPostalCode), FIELD(title), FIELD(organization), FIELD(unit1), FIELD(unit2),
    FIELD(businessAssistant), FIELD(businessRefNo), FIELD(businessAccountNo), FIELD(businessBuyer),
    FIELD(industryType), PHONE(businessPhone), FIELD(businessPhoneExt), PHONE(businessPhone2),
    FIELD(businessPhone2Ext), PHONE(fax), PHONE(fax2), PHONE(homePhone), PHONE(homePhone2),
    PHONE(mobilePhone), PHONE(mobilePhone2), PHONE(pager), PHONE(assistantPhone),
    FIELD(assistantPhoneExt), FIELD(web1), FIELD(web2), FIELD(x400Name1), FIELD(x400Name2),
    FIELD(x400Name3), FIELD(x400Name4), FIELD(x400Address1), FIELD(x400Address2),
    FIELD(x400Address3), FIELD(x400Address4), FIELD(x400Address5), FIELD(x400Address6),
    FIELD(x400Address7), FIELD(x400Address8), FIELD(email1), FIELD(email2), FIELD(msAddress[0]),
    FIELD(msAddress[1]), FIELD(msAddress[2]), FIELD(macAddress[0]), FIELD(macAddress[1]),
    FIELD(macAddress[2])};
// clang-format on
#undef PHONE
#undef STREET
#undef FIELD

char *at(ABEntryRecord &r, const TextField &f) { return reinterpret_cast<char *>(&r) + f.offset; }

// Texts with the characters the escaping is about. Not among them: a
// leading blank (the parser drops blanks before a value), '"' (starts
// quoted text), '=' (dropped before a fold or a line end) and line breaks,
// which the unencoded extension values cannot carry.
std::string randomText(std::mt19937 &random, size_t capacity, bool street) {
    static const char kAlphabet[] = "abcXYZ0189 \t:;\\,.-@/\xE9";
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    const size_t length =
        random() % 4 == 0 ? capacity : std::uniform_int_distribution<size_t>(0, capacity)(random);
    std::string text;
    while (text.size() < length) {
        const char c = kAlphabet[pick(random)];
        if (text.empty() && c == ' ') continue;
        // A street is unescaped twice on the way back: a backslash before
        // one of the escaped characters would be lost there.
        if (street && !text.empty() && text.back() == '\\' &&
            (c == '\t' || c == ':' || c == ';' || c == '\\'))
            continue;
        text += c;
    }
    return text;
}

ABDate randomDate(std::mt19937 &random) {
    if (random() % 3 == 0) return ABDate{0, 0, 0};
    return ABDate{static_cast<uint8_t>(1 + random() % 31), static_cast<uint8_t>(random() % 12),
                  static_cast<uint16_t>(1 + random() % 9999)};
}

// A note: any text but NUL, not starting with a blank (the parser drops it).
std::string randomNote(std::mt19937 &random) {
    std::string text;
    const size_t length = random() % 300;
    while (text.size() < length) {
        const char c = static_cast<char>(1 + random() % 255);
        if (!(text.empty() && c == ' ')) text += c;
    }
    return text;
}

struct Sample {
    ABEntryRecord record;
    std::string general, photo, personal; // "(none)": no stream
};

Sample randomSample(std::mt19937 &random) {
    Sample s{abtest::emptyRecord(), "(none)", "(none)", "(none)"};
    ABEntryRecord &r = s.record;
    for (const TextField &f : kTextFields) {
        const std::string text = randomText(random, f.size - 1, f.street);
        std::memcpy(at(r, f), text.c_str(), text.size() + 1);
    }
    r.owner = static_cast<uint32_t>(random());
    r.ownerExtension = static_cast<uint16_t>(random());
    r.security = static_cast<uint32_t>(random());
    r.flags = static_cast<uint32_t>(random());
    r.flags2 = random() % 2 ? 0 : static_cast<uint32_t>(random());
    r.relation = static_cast<uint16_t>(random() % 3 ? random() : 0);
    r.birthday = randomDate(random);
    r.anniversary = randomDate(random);
    r.date1 = randomDate(random);
    r.date2 = randomDate(random);
    if (random() % 2) s.general = randomNote(random);
    if (random() % 2) s.personal = randomNote(random);
    if (random() % 2) {
        // BASE64 text in its one form: whole groups, no padding.
        static const char kDigits[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        s.photo.clear();
        for (size_t n = 4 * (1 + random() % 66); n > 0; --n)
            s.photo += kDigits[random() % 64];
        r.photoFormat = static_cast<uint16_t>(1 + random() % 16);
    }
    return s;
}

// What an entry gives back: the same, but for what the text does not
// carry or the reading settles.
ABEntryRecord expected(const Sample &s, const ABEntryId &id) {
    ABEntryRecord r = s.record;
    std::memcpy(r.reserved0, &id, sizeof id);
    r.clientField18 = kNode;
    r.clientField20 = kUser;
    // The creation time stands in REV, as date and time: no revision date.
    r.revisionTime = 0;
    r.emailKind = 0;
    // No name is one blank; so is a family name of blanks, which the
    // parser drops in front of the N value.
    if (std::strspn(r.familyName, " ") == std::strlen(r.familyName)) abtest::set(r.familyName, " ");
    if (r.givenName[0] == '\0') abtest::set(r.givenName, " ");
    r.generalNote = s.general != "(none)";
    r.personalNote = s.personal != "(none)";
    r.photo = s.photo != "(none)";
    if (r.photoFormat == AB_PHOTO_BMP)
        r.photoFormat = AB_PHOTO_PMB;
    else if (r.photoFormat == AB_PHOTO_PMB)
        r.photoFormat = AB_PHOTO_BMP;
    return r;
}

void roundTrip(abtest::Book &book, VCardContext *context, Sample s) {
    const abtest::Streams streams = {s.general != "(none)" ? s.general.c_str() : nullptr,
                                     s.photo != "(none)" ? s.photo.c_str() : nullptr,
                                     s.personal != "(none)" ? s.personal.c_str() : nullptr};
    abtest::createEntry(book, s.record, streams);
    const std::string text = abtest::exportEntry(book, context, s.record);
    uint8_t owner[6];
    std::memcpy(owner, &s.record.owner, 4);
    std::memcpy(owner + 4, &s.record.ownerExtension, 2);
    const abtest::Imported in = abtest::importText(book, context, text, 1000, owner);
    ASSERT_EQ(in.result, 0) << text;
    ASSERT_EQ(in.ids.size(), 1u) << text;
    EXPECT_EQ(in.skipped, 0);
    const ABEntryRecord got = abtest::entry(book, in.ids[0]);
    const ABEntryRecord want = expected(s, in.ids[0]);
    EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << text;
    EXPECT_EQ(abtest::stream(book, got, AB_STREAM_GENERAL_NOTE), s.general) << text;
    EXPECT_EQ(abtest::stream(book, got, AB_STREAM_PHOTO), s.photo) << text;
    EXPECT_EQ(abtest::stream(book, got, AB_STREAM_PERSONAL_NOTE), s.personal) << text;
}

TEST(RoundTrip, RandomRecords) {
    abtest::Book book(nullptr, kNode, kUser);
    abtest::Context context;
    std::mt19937 random(20240607);
    for (int i = 0; i < 300 && !HasFailure(); ++i)
        roundTrip(book, context, randomSample(random));
}

} // namespace
