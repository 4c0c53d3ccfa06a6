// Text that is parsed and written again comes out the same. A parse
// reverses the order of properties, parameters and subcomponents, so the
// property is: the text T0 written from a parsed tree, parsed and written
// (T1), parsed and written again (T2), gives T2 == T0 byte for byte.
//
// The inputs are random texts written here, not by the generator: folded
// and unfolded lines, CR LF and LF ends, bare and named parameters, quoted
// values with escapes, QUOTED-PRINTABLE with soft breaks, folded BASE64
// with its empty line, groups, nesting. Two things the format itself
// cannot carry are left out: an "=" in a value that is not encoded (a fold
// may land right after it, and the reader drops an "=" before a line
// break), and a QUOTED-PRINTABLE value starting with a blank (the blank is
// written as it is, and leading blanks of a value are not kept).
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "text_support.h"
#include "versit_core.h"

namespace {

class Writer {
  public:
    explicit Writer(uint32_t seed) : rng_(seed) {}

    std::string text() {
        out_.clear();
        component(0);
        return out_;
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }

    const char *eol() { return crlf_ ? "\r\n" : "\n"; }

    // Appends `s`, now and then folding it before a character (never at the
    // start of a line, which would join it to the line before, nor after
    // an "=", which would make a soft line break of it).
    void folded(const std::string &s) {
        for (char c : s) {
            if (chance(2) && !out_.empty() && out_.back() != '=' && out_.back() != '\n')
                out_ += std::string(eol()) + (chance(80) ? " " : "\t");
            out_ += c;
        }
    }

    std::string word(int maxLength, const char *alphabet) {
        std::string w;
        const int n = 1 + pick(maxLength);
        const int size = static_cast<int>(std::char_traits<char>::length(alphabet));
        for (int i = 0; i < n; ++i)
            w += alphabet[pick(size)];
        return w;
    }

    std::string name() {
        static const char *const known[] = {"N",     "FN",    "TEL",      "EMAIL",
                                            "NOTE",  "ADR",   "x-custom", "item1.EMAIL",
                                            "photo", "label", "summary"};
        if (chance(70)) return known[pick(11)];
        return word(12, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.");
    }

    // Text without "=", CR or LF, of any length.
    std::string plain() {
        const int n = pick(4) == 0 ? pick(300) : pick(30);
        std::string s;
        for (int i = 0; i < n; ++i) {
            static const char kChars[] = "abcdefghij KLMNOP;:0123456789.-/\\@\t\x80\xc3\xbc";
            s += kChars[pick(sizeof kChars - 1)];
        }
        return s;
    }

    // What a quoted value may hold: anything but "=" and NUL, escaped.
    std::string quoted() {
        std::string s = "\"";
        const int n = pick(40);
        static const char *const kPieces[] = {"\\n", "\\,", "\\\"", "\\\\", ";:,"};
        for (int i = 0; i < n; ++i) {
            const int k = pick(12);
            s +=
                k < 5 ? std::string(kPieces[k]) : std::string(1, static_cast<char>('a' + pick(26)));
        }
        return s + "\"";
    }

    std::string quotedPrintable(int column) {
        std::string bytes;
        const int n = pick(3) == 0 ? pick(400) : pick(40);
        for (int i = 0; i < n; ++i)
            bytes += static_cast<char>(1 + pick(255));
        if (!bytes.empty() && bytes[0] == ' ') bytes[0] = 'x';
        // Encoded here by hand, with soft breaks that may lack the blank
        // only where the writer knows no line begins.
        static const char kHex[] = "0123456789ABCDEF";
        std::string s;
        for (unsigned char c : bytes) {
            if ((c >= 0x20 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E && c != ','))
                s += static_cast<char>(c);
            else
                s += std::string("=") + kHex[c >> 4] + kHex[c & 15];
            if (++column > 60 && chance(30)) {
                s += std::string("=") + eol() + " ";
                column = 1;
            }
        }
        return s;
    }

    std::string base64() {
        static const char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string s;
        const int groups = pick(3) == 0 ? pick(200) : pick(10);
        for (int i = 0; i < groups * 4; ++i)
            s += kAlphabet[pick(64)];
        if (chance(30)) s += std::string(1, kAlphabet[pick(64)]) + "Q==";
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (i % 72 == 0 && i > 0) out += std::string(eol()) + "  ";
            out += s[i];
        }
        return out;
    }

    std::string parameters(int *encoding) {
        std::string s;
        const int n = pick(4);
        for (int i = 0; i < n; ++i) {
            const int k = pick(6);
            if (k == 0) {
                s += ";" + word(8, "HOMEWORKVOICEPREFabc");
            } else if (k == 1) {
                s += ";TYPE=" + word(5, "abcXYZ") + "," + word(5, "HOME");
            } else if (k == 2) {
                s += ";X-Q=" + quoted();
            } else if (k == 3) {
                s += ";LANGUAGE= en-us ";
            } else if (*encoding == 0) {
                *encoding = chance(50) ? 1 : 2;
                s += *encoding == 1 ? (chance(50) ? ";ENCODING=QUOTED-PRINTABLE" : ";encoding=q")
                                    : (chance(50) ? ";ENCODING=BASE64" : ";ENCODING=b");
            }
        }
        return s;
    }

    void property() {
        int encoding = 0;
        std::string head = name() + parameters(&encoding);
        folded(head);
        if (chance(5)) { // no colon at all
            out_ += eol();
            return;
        }
        out_ += ":";
        const int values = 1 + (chance(30) ? pick(3) : 0);
        for (int i = 0; i < values; ++i) {
            if (i > 0) out_ += ",";
            if (encoding == 1) {
                out_ += quotedPrintable(static_cast<int>(head.size()) + 1);
            } else if (encoding == 2) {
                out_ += base64();
            } else if (chance(20)) {
                folded(quoted());
            } else {
                folded(plain());
            }
        }
        out_ += eol();
        if (encoding == 2 && chance(70)) out_ += eol();
    }

    void component(int depth) {
        crlf_ = chance(80);
        static const char *const kinds[] = {"VCARD", "vcalendar", "VEVENT", "valarm", "AGENT"};
        const std::string kind = kinds[pick(5)];
        out_ += "BEGIN:" + kind + eol();
        const int properties = pick(12);
        for (int i = 0; i < properties; ++i) {
            if (depth < 3 && chance(8))
                component(depth + 1);
            else
                property();
        }
        out_ += (chance(50) ? "END:" : "end:") + kind + eol();
    }

    std::mt19937 rng_;
    std::string out_;
    bool crlf_ = true;
};

// Parses the whole of `text` as one component and writes it back.
std::string reprint(const std::string &text, int32_t parseFlags, int32_t printFlags,
                    int32_t *result) {
    vtest::Parsed p;
    vtest::parse(p, text, parseFlags);
    *result = p.result;
    if (p.tree.root == nullptr) return "(no component)";
    return vtest::print(p.tree.root, printFlags);
}

TEST(RoundTrip, GeneratedTextIsAFixedPoint) {
    struct Flags {
        int32_t parse;
        int32_t print;
    } const flagSets[] = {{0, 0}, {8, 12}, {0, 8}, {8, 4}};
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        Writer w(seed);
        const std::string input = w.text();
        const Flags f = flagSets[seed % 4];
        int32_t r0 = 0;
        int32_t r1 = 0;
        int32_t r2 = 0;
        const std::string t0 = reprint(input, f.parse, f.print, &r0);
        const std::string t1 = reprint(t0, f.parse, f.print, &r1);
        const std::string t2 = reprint(t1, f.parse, f.print, &r2);
        ASSERT_EQ(t2, t0) << "seed " << seed << "\ninput:\n"
                          << input << "\nT0:\n"
                          << t0 << "\nT1:\n"
                          << t1;
        // The written text parses without the problems the input may have had.
        EXPECT_EQ(r1, r2) << "seed " << seed;
    }
}

} // namespace
