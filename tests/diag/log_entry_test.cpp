// The log entry points: message shapes, the size limit, and silence while
// the switch is off.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "diag/errlog.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "versit_core.h"

namespace {

TEST(LogError, MessageShapes) {
    struct Case {
        const char *where;
        const char *text;
        const char *message;
    } cases[] = {
        {"VLIB_new_vValue()", "Not enough core", "VLIB_new_vValue():  Not enough core"},
        {nullptr, "plain", "plain"},
        {nullptr, nullptr, "VLIB error"},
        {"VCARD_x()", nullptr, "VCARD_x():  VLIB error"},
        {"w", "100% sure", "w:  100% sure"}, // the text is data, not a format
    };
    for (const Case &c : cases) {
        LogCapture log;
        EXPECT_EQ(VLIB_logError(c.where, 0x1850C, c.text), 0);
        ASSERT_EQ(log.records().size(), 1u);
        EXPECT_EQ(log.records()[0].message, c.message);
        EXPECT_EQ(log.records()[0].code, 0x1850C);
        EXPECT_EQ(log.records()[0].level, 2u);
        EXPECT_FALSE(log.records()[0].trace);
    }
}

TEST(LogError, MessageIsCutTo1024Bytes) {
    LogCapture log;
    const std::string where(600, 'w');
    const std::string text(600, 't');
    VLIB_logError(where.c_str(), 1, text.c_str());
    ASSERT_EQ(log.records().size(), 1u);
    const std::string &m = log.records()[0].message;
    EXPECT_EQ(m.size(), 1023u);
    EXPECT_EQ(m.substr(0, 603), where + ":  ");
}

TEST(Trace, TextIsHandedOnAsTheFormat) {
    LogCapture log;
    EXPECT_EQ(VLIB_trace("VCARD_createCard()"), 0);
    EXPECT_EQ(VLIB_trace(nullptr), 0);
    ASSERT_EQ(log.records().size(), 2u);
    EXPECT_TRUE(log.records()[0].trace);
    EXPECT_EQ(log.records()[0].message, "VCARD_createCard()");
    EXPECT_EQ(log.records()[0].level, 2u);
    EXPECT_EQ(log.records()[1].message, "");
}

TEST(Writers, NullMessageIsNamed) {
    LogCapture log;
    WriteErrLog(2, 7, nullptr);
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0].message, "WriteErrLog: errmesg is NULL");
}

TEST(Writers, SwitchIsOffAndNothingIsWritten) {
    EXPECT_FALSE(errlog::enabled());
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    VLIB_logError("where", 1, "text");
    VLIB_trace("trace %s %d");
    WriteErrLog(7, 1, "x");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(dir.empty());
}

} // namespace
