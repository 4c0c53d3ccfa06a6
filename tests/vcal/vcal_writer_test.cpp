// Writing vCalendar: client records and items into a tree, the lines and
// their folding, the stream with its framing, failing sinks, allocation
// failures, and items that come back the same through the reader.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "vcal/vcalkrec.h"
#include "vcal_support.h"
#include "versit_interop.h"

using vcaltest::value;

namespace {

struct ByteSink {
    std::string text;
    size_t failAt = SIZE_MAX;
    static int32_t put(void *stream, uint8_t byte) {
        auto *s = static_cast<ByteSink *>(stream);
        if (s->text.size() == s->failAt) return 0x7777;
        s->text += static_cast<char>(byte);
        return 0;
    }
};

CalapiTime minutes(const char *text) {
    uint32_t m = 0;
    EXPECT_EQ(vCal_ConvertDateStrToMinute(text, &m, 0, nullptr), 0) << text;
    return m;
}

std::string line(const std::function<int32_t(char **)> &make) {
    char *text = nullptr;
    const int32_t rc = make(&text);
    std::string out = rc == 0 ? text : "rc " + std::to_string(rc);
    std::free(text);
    return out;
}

// The client's records of one event with four attendees and one to-do.
struct Records {
    CalEventRecord event{};
    CalInstanceRecord instance{};
    CalAlarmRecord alarm{1, 15};
    CalTodoRecord todo{};
    KL_HLIST attendees = nullptr;
    KL_HLIST replies = nullptr;

    Records() {
        event.ownerId = 0x10002;
        event.organizerId = 0x30004;
        event.classCode = 2;
        event.priority = 1;
        std::strcpy(event.summary, "Event summary");
        instance.idPart1 = 7;
        instance.idPart2 = 8;
        instance.idPart3 = 9;
        instance.tentative = 1;
        instance.start = minutes("19980105T093000Z");
        instance.duration = 90;
        std::strcpy(instance.location, "Room");
        todo.idPart1 = 1;
        todo.idPart2 = 2;
        todo.idPart3 = 3;
        todo.classCode = 3;
        std::strcpy(todo.summary, "Todo");
        todo.priority = 5;
        todo.startTime = minutes("19980106T080000Z");
        todo.dueTime = todo.startTime + 60;
        todo.completedTime = todo.startTime + 30;
        todo.alarmSet = 1;
        todo.alarmMinutes = 10;
        todo.state = 'd';
        KL_ListCreate(&attendees, 4, sizeof(CalAttendeeRecord), 0, nullptr, nullptr);
        KL_ListCreate(&replies, 12, sizeof(CalReplyRecord), 0, nullptr, nullptr);
        attend(0x10002, 0, "Ann", "Lee", 1, 0);
        attend(0x30004, 0, "Bo", "Ek", 0, 1);
        attend(0x50006, 1, "Projector", "", 0, 0);
        attend(0x70008, 0, "Cy", "Dee", 0, 0);
    }
    ~Records() {
        KL_ListDestroy(&attendees);
        KL_ListDestroy(&replies);
    }
    void attend(uint32_t id, uint16_t kind, const char *first, const char *last, uint8_t yes,
                uint8_t no) {
        CalAttendeeRecord a{};
        a.kind = kind;
        std::strcpy(kind == 1 ? a.resourceName : a.givenName, first);
        std::strcpy(a.familyName, last);
        CalReplyRecord r{};
        r.accepted[1] = yes;
        r.declined = no;
        const CalReplyKey key{7, 8 | 9u << 16, id};
        KL_ListAddLast(attendees, &id, &a);
        KL_ListAddLast(replies, &key, &r);
    }
    int32_t addEvent(ParseTreeHandle **tree) const {
        return vCal_EventAddToParseTree(tree, 3 | 4u << 16, &event, &instance, &alarm, replies,
                                        attendees, "a\r\nb", 4, "file1*^?file2", "1.0", 0);
    }
    int32_t addTodo(ParseTreeHandle **tree) const {
        return vCal_TaskAddToParseTree(tree, 0, &todo, nullptr, 0, nullptr, "1.0", 0);
    }
};

const char kEventLines[] = "ATTACH:file1\nATTACH:file2\n"
                           "ATTENDEE;ROLE=OWNER;STATUS=CONFIRMED:Ann Lee\n"
                           "ATTENDEE;ROLE=ORGANIZER;STATUS=DECLINED:Bo Ek\n"
                           "ATTENDEE;ROLE=ATTENDEE;STATUS=NEEDS ACTION:Cy Dee\n"
                           "AALARM:19980105T091500Z\nCATEGORIES:APPOINTMENT\nCLASS:PRIVATE\n"
                           "DALARM:19980105T091500Z\nDTSTART:19980105T093000Z\n"
                           "DTEND:19980105T110000Z\nSUMMARY:Event summary\nLOCATION:Room\n"
                           "RESOURCES:Projector\n"
                           "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:a=0D=0A=\nb\n"
                           "PRIORITY:2\nSTATUS:TENTATIVE\nUID:3-4-7-9\n";
const char kTodoLines[] = "AALARM:19980106T075000Z\nCLASS:CONFIDENTIAL\nDALARM:19980106T075000Z\n"
                          "DTSTART:19980106T080000Z\nDUE:19980106T090000Z\n"
                          "COMPLETED:19980106T083000Z\nSUMMARY:Todo\nPRIORITY:5\n"
                          "STATUS:COMPLETED\nUID:1-2-3\n";

std::string written(ParseTreeHandle *tree, const char *version = "1.0") {
    ByteSink sink;
    EXPECT_EQ(vCal_ParseTreeToStreamPut(tree, &sink, ByteSink::put, version, nullptr), 0);
    return sink.text;
}

std::vector<uint32_t> progressSeen;
int32_t recordProgress(uint32_t, uint32_t, uint32_t, uint32_t value) {
    progressSeen.push_back(value);
    return 1;
}

} // namespace

TEST(VcalWriter, Lines) {
    std::string words;
    for (int i = 0; i < 20; ++i)
        words += "abcd ";
    const std::string segment(67, 'q');
    TimeNode second{minutes("19910102T000100Z"), nullptr};
    const TimeNode dates{0, &second};
    const struct {
        std::function<int32_t(char **)> make;
        std::string expected;
    } cases[] = {
        {[](char **l) { return vcal::ConvertSingleDate(l, 0, "DTSTART:"); },
         "DTSTART:19910101T000000Z"},
        {[](char **l) { return vcal::ConvertAlarm(l, minutes("19920229T120500Z"), "AALARM:"); },
         "AALARM:19920229T120500Z"},
        {[](char **l) { return vcal::ConvertSingleDate(l, minutes("20361231T235900Z"), "DUE:"); },
         "DUE:20361231T235900Z"},
        {[&](char **l) { return vcal::ConvertMultiDate(l, &dates, "EXDATE:"); },
         "EXDATE:19910101T000000Z;19910102T000100Z"},
        {[](char **l) { return vcal::ConvertSingleNumber(l, 4294967295u, "PRIORITY:"); },
         "PRIORITY:4294967295"},
        {[](char **l) { return vcal::ConvertCategories(l, 2); }, "CATEGORIES:HOLIDAY"},
        {[](char **l) { return vcal::ConvertCategories(l, 4); }, "CATEGORIES:SPECIAL OCCASION"},
        {[](char **l) { return vcal::ConvertClass(l, 1, VCAL_ITEM_EVENT); }, "CLASS:CONFIDENTIAL"},
        {[](char **l) { return vcal::ConvertClass(l, 1, VCAL_ITEM_TODO); }, "CLASS:PUBLIC"},
        {[](char **l) { return vcal::ConvertPutStrInExportForm(l, "a\r\nb\rc\nd\r\n", "UID:"); },
         "UID:abcd"},
        // Cut before the last blank once 76 characters stand in the line.
        {[&](char **l) { return vcal::ConvertPutStrInExportForm(l, words.c_str(), "SUMMARY:"); },
         "SUMMARY:" + words.substr(0, 64) + "\n" + words.substr(64)},
        {[](char **l) {
             return vcal::ConvertPutStrInExportForm(l, std::string(90, 'x').c_str(), "S:");
         },
         "S:" + std::string(90, 'x')},
        {[](char **l) { return vcal::ConvertPutStrInExportForm(l, nullptr, "S:"); },
         "rc " + std::to_string(VCAL_ERR_NULL_STREAM)},
        {[](char **l) {
             return vcal::ConvertPutStrInExportForm(l, "x=\ny\r\n", "D",
                                                    vcal::ExportForm::QuotedPrintable);
         },
         "D;ENCODING=QUOTED-PRINTABLE:x==0D=0A=\ny"},
        {[&](char **l) {
             return vcal::ConvertPutStrInExportForm(l,
                                                    (segment + segment + "z\r" + segment).c_str(),
                                                    "D", vcal::ExportForm::QuotedPrintable);
         },
         "D;ENCODING=QUOTED-PRINTABLE:" + segment + "=\n" + segment + "=\nz=0D=0A=\n" + segment},
    };
    for (const auto &c : cases)
        EXPECT_EQ(line(c.make), c.expected);
}

TEST(VcalWriter, StreamFramingAndProgress) {
    Records r;
    ParseTreeHandle *tree = nullptr;
    ASSERT_EQ(r.addTodo(&tree), 0);
    ASSERT_EQ(r.addEvent(&tree), 0);
    const std::string body = std::string("BEGIN:VEVENT\n") + kEventLines +
                             "END:VEVENT\nBEGIN:VTODO\n" + kTodoLines +
                             "END:VTODO\nEND:VCALENDAR\n";
    EXPECT_EQ(written(tree), "BEGIN:VCALENDAR\nPRODID:-//Larkspur Calendar\nVERSION:1.0\n" + body);

    ByteSink sink;
    tree->firstCalendar->todos->valid = 0;
    EXPECT_EQ(
        vCal_ParseTreeToStreamPutEx(tree, &sink, ByteSink::put, nullptr, nullptr, recordProgress),
        0);
    EXPECT_EQ(sink.text,
              "BEGIN:VCALENDAR\n" + body.substr(0, body.find("BEGIN:VTODO")) + "END:VCALENDAR\n");
    EXPECT_EQ(progressSeen, (std::vector<uint32_t>{70}));
    EXPECT_EQ(value(tree->eventsKept), 1);
    tree->eventsKept = 3;
    tree->firstCalendar->todos->valid = 1;
    progressSeen.clear();
    vCal_ParseTreeToStreamPut(tree, &sink, ByteSink::put, "1.0", recordProgress);
    EXPECT_EQ(progressSeen, (std::vector<uint32_t>{70, 80}));

    tree->firstCalendar->events->valid = 0;
    tree->firstCalendar->todos->valid = 0;
    sink.text.clear();
    EXPECT_EQ(vCal_ParseTreeToStreamPutEx(tree, &sink, ByteSink::put, "1.0", "p", nullptr),
              VCAL_ERR_NO_CALENDAR_CLOSED);
    EXPECT_EQ(sink.text, "");
    vCal_DestroyParseTree(&tree);
}

// The full attendee lines are in the framing test; here what changes them.
TEST(VcalWriter, Attendees) {
    const struct {
        uint16_t category;
        uint32_t organizer;
        bool replies;
        int32_t rc;
        const char *absent; // from the written text
    } cases[] = {
        {0, 0x10002, true, 0, "ORGANIZER"},
        {1, 0x30004, true, 0, "ATTENDEE"},
        {2, 0x30004, true, 0, "RESOURCES"},
        {3, 0x30004, false, KL_LIST_NOT_FOUND, ""},
    };
    for (const auto &c : cases) {
        Records r;
        r.event.category = c.category;
        r.event.organizerId = c.organizer;
        if (!c.replies) KL_ListDeleteAll(r.replies);
        ParseTreeHandle *tree = nullptr;
        ASSERT_EQ(r.addEvent(&tree), c.rc);
        if (tree == nullptr) continue;
        EXPECT_EQ(written(tree).find(c.absent), std::string::npos) << c.absent;
        vCal_DestroyParseTree(&tree);
    }
}

TEST(VcalWriter, ArgumentsAndFailedItems) {
    Records r;
    ParseTreeHandle *tree = nullptr;
    PropertyParam item{};
    ParseTreeHandle empty{};
    ByteSink sink;
    LogCapture log;
    const struct {
        int32_t rc, expected;
        const char *message; // null: nothing logged
    } cases[] = {
        {vCal_EventAddToParseTree(&tree, 0, &r.event, &r.instance, nullptr, nullptr, nullptr,
                                  nullptr, 0, nullptr, "", 0),
         VCAL_ERR_VERSION_BUFFER, nullptr},
        {vCal_EventAddToParseTree(&tree, 0, &r.event, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  0, nullptr, "1.0", 0),
         VCAL_ERR_NULL_EVENT, nullptr},
        {vCal_EventAddToParseTree(&tree, 0, &r.event, &r.instance, nullptr, nullptr, nullptr,
                                  nullptr, 0, nullptr, "1.1", 0),
         VCAL_ERR_BAD_VERSION, nullptr},
        {vCal_TaskAddToParseTree(&tree, 0, nullptr, nullptr, 0, nullptr, "1.0", 0),
         VCAL_ERR_NULL_TODO, nullptr},
        {vCal_AddxItemInfoToPTree(nullptr, &item, 2, 0), VCAL_ERR_NULL_HANDLE,
         "vCal_AddxItemInfoToPTree (phandle)"},
        {vCal_AddxItemInfoToPTree(&tree, nullptr, 2, 0), VCAL_ERR_NULL_ARGUMENT,
         "vCal_AddxItemInfoToPTree (baptr)"},
        {vCal_AddxItemInfoToPTree(&tree, &item, 1, 0), VCAL_ERR_BAD_ITEM_TYPE,
         "vCal_AddxItemInfoToPTree (type)"},
        {vCal_PutALineToStream(&sink, ByteSink::put, nullptr), VCAL_ERR_NULL_LINE,
         "vCal_PutALineToStream (nullstr)"},
        {vCal_ParseTreeToStreamPut(nullptr, &sink, ByteSink::put, "1.0", nullptr),
         VCAL_ERR_NULL_HANDLE, "vCal_ParseTreeToStreamPut(pHandle)"},
        {vCal_ParseTreeToStreamPut(&empty, &sink, nullptr, "1.0", nullptr),
         VCAL_ERR_NULL_PUT_CALLBACK, "vCal_ParseTreeToStreamPut(putfunc)"},
        {vCal_ParseTreeToStreamPut(&empty, &sink, ByteSink::put, "", nullptr),
         VCAL_ERR_VERSION_BUFFER, "vCal_ParseTreeToStreamPut (version)"},
        {vCal_ParseTreeToStreamPut(&empty, &sink, ByteSink::put, "1.0", nullptr), VCAL_ERR_NO_TREE,
         "vCal_ParseTreeToStreamPut(vcalendar)"},
        {vCal_ParseTreeToStreamPutEx(&empty, &sink, ByteSink::put, "1.0", nullptr, nullptr),
         VCAL_ERR_NO_CALENDAR_CLOSED, "WriteErrLog: errmesg is NULL"},
    };
    size_t logged = 0;
    for (const auto &c : cases) {
        EXPECT_EQ(c.rc, c.expected);
        if (c.message != nullptr) {
            EXPECT_EQ(log.errors().at(logged++), c.message);
        }
    }
    EXPECT_EQ(log.errors().size(), logged);
    EXPECT_EQ(tree, nullptr);

    // A to-do without a summary: its lines cannot be made. A new tree goes
    // again; in an existing one the node stays, empty.
    r.todo.summary[0] = '\0';
    EXPECT_EQ(r.addTodo(&tree), VCAL_ERR_NULL_STREAM);
    EXPECT_EQ(tree, nullptr);
    ASSERT_EQ(r.addEvent(&tree), 0);
    log.clear();
    EXPECT_EQ(r.addTodo(&tree), VCAL_ERR_NULL_STREAM);
    EXPECT_EQ(log.errors(), (std::vector<std::string>{
                                "ConvertPutStrInExportForm (string)",
                                "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 1",
                                "vCal_AddxItemInfoToPTree: (vCal_ChangeFormatKRecToPTree) 2"}));
    EXPECT_NE(written(tree).find("BEGIN:VTODO\nEND:VTODO\n"), std::string::npos);
    vCal_DestroyParseTree(&tree);
}

namespace {

// The steps of the failure messages, one per byte of the written tree.
std::vector<std::string> stepsOfBytes(const ParseTreeHandle *tree) {
    std::vector<std::string> steps;
    auto add = [&](size_t length, const char *step) {
        steps.insert(steps.end(), length + 1, step);
    };
    const VCalendarNode *c = tree->firstCalendar;
    add(15, "1");
    add(std::strlen("PRODID:-//Larkspur Calendar"), "1.1");
    for (const PropertyNode *p = c->properties; p != nullptr; p = p->next)
        add(std::strlen(p->line), "2");
    add(11, "1.1");
    for (const VEventNode *e = c->events; e != nullptr; e = e->next) {
        add(12, "3");
        for (const PropertyNode *p = e->properties; p != nullptr; p = p->next)
            add(std::strlen(p->line), "4");
        add(10, "5");
    }
    for (const VTodoNode *t = c->todos; t != nullptr; t = t->next) {
        add(11, "6");
        for (const PropertyNode *p = t->properties; p != nullptr; p = p->next)
            add(std::strlen(p->line), "7");
        add(9, "8");
    }
    add(13, "9");
    return steps;
}

} // namespace

TEST(VcalWriter, SinkFailingAtEveryByte) {
    Records r;
    ParseTreeHandle *tree = nullptr;
    PropertyParam calendarFlags{};
    calendarFlags.flags.flag[VCAL_SLOT_TZ] = 1;
    calendarFlags.flags.flag[VCAL_SLOT_DAYLIGHT] = 1;
    ASSERT_EQ(vCal_AddxItemInfoToPTree(&tree, &calendarFlags, VCAL_ITEM_EVENT, 0), 0);
    ASSERT_EQ(r.addEvent(&tree), 0);
    ASSERT_EQ(r.addTodo(&tree), 0);
    const std::string whole = written(tree);
    EXPECT_EQ(whole.rfind("BEGIN:VCALENDAR\nPRODID:-//Larkspur Calendar\nDAYLIGHT:FALSE\n"
                          "TZ:+00:00\nVERSION:1.0\nBEGIN:VEVENT\nEND:VEVENT\n",
                          0),
              0u);
    const std::vector<std::string> steps = stepsOfBytes(tree);
    ASSERT_EQ(steps.size(), whole.size());
    for (size_t at = 0; at < whole.size(); ++at) {
        ByteSink sink;
        sink.failAt = at;
        LogCapture log;
        ASSERT_EQ(vCal_ParseTreeToStreamPut(tree, &sink, ByteSink::put, "1.0", nullptr), 0x7777);
        EXPECT_EQ(sink.text, whole.substr(0, at));
        EXPECT_EQ(log.errors(),
                  (std::vector<std::string>{"vCal_PutALineToStream (vCalStreamNextBytePut)",
                                            "vCal_ParseTreeToStreamPut: (vCal_PutALineToStream) " +
                                                steps[at]}))
            << at;
    }
    vCal_DestroyParseTree(&tree);
}

TEST(VcalWriter, AllocationFailures) {
    Records r;
    TimeNode second{minutes("19980107T000000Z"), nullptr};
    PropertyParam item{};
    for (uint8_t slot : {VCAL_SLOT_TZ, VCAL_SLOT_DAYLIGHT, VCAL_SLOT_EXDATE, VCAL_SLOT_ATTENDEE,
                         VCAL_SLOT_RESOURCES, VCAL_SLOT_DCREATED, VCAL_SLOT_UID})
        item.flags.flag[slot] = 1;
    item.exceptionDates.next = &second;
    item.attendee = const_cast<char *>(":a*^?:b");
    item.resources = const_cast<char *>("r1;r2");
    item.uniqueId = const_cast<char *>("id");
    const int points = alloc_hook::sweep([&] {
        ParseTreeHandle *tree = nullptr;
        LogCapture log;
        const int32_t rcs[] = {vCal_AddxItemInfoToPTree(&tree, &item, VCAL_ITEM_EVENT, 0),
                               r.addEvent(&tree), r.addTodo(&tree)};
        for (int32_t rc : rcs) {
            EXPECT_TRUE(rc == 0 || rc == VCAL_ERR_NO_MEMORY) << rc;
            if (rc != 0) {
                EXPECT_EQ(log.records().back().code, rc);
            }
        }
        if (rcs[0] != 0 && rcs[1] != 0 && rcs[2] != 0) {
            EXPECT_EQ(tree, nullptr);
        }
        if (tree != nullptr) {
            ByteSink sink;
            EXPECT_EQ(vCal_ParseTreeToStreamPut(tree, &sink, ByteSink::put, "1.0", nullptr), 0);
            vCal_DestroyParseTree(&tree);
        }
    });
    EXPECT_GT(points, 40);
}

namespace {

// The fields the writer writes and the reader reads back, by name.
std::string describe(const PropertyParam &p) {
    const uint8_t *f = p.flags.flag;
    std::string out;
    // A break at the very end of a text is not written, and trailing white
    // space is not read.
    auto text = [&](uint8_t slot, const char *name, const char *v) {
        std::string t = v != nullptr ? v : "(null)";
        t.erase(t.find_last_not_of(" \t\r\n") + 1);
        if (f[slot] != 0) out += std::string(name) + "=" + t + "|";
    };
    auto number = [&](uint8_t slot, const char *name, uint32_t v) {
        if (f[slot] != 0) out += std::string(name) + "=" + std::to_string(v) + "|";
    };
    text(VCAL_SLOT_ATTACH, "attach", p.attachment);
    text(VCAL_SLOT_ATTENDEE, "attendee", p.attendee);
    number(VCAL_SLOT_AALARM, "aalarm", p.audioAlarmTime);
    number(VCAL_SLOT_CATEGORIES, "category", p.category);
    number(VCAL_SLOT_CLASS, "class", p.classCode);
    number(VCAL_SLOT_DALARM, "dalarm", p.displayAlarmTime);
    number(VCAL_SLOT_DCREATED, "created", p.createdTime);
    number(VCAL_SLOT_DTSTART, "start", p.startTime);
    number(VCAL_SLOT_DTEND, "end", p.endTime);
    number(VCAL_SLOT_DUE, "due", p.dueTime);
    number(VCAL_SLOT_COMPLETED, "completed", p.completedTime);
    text(VCAL_SLOT_SUMMARY, "summary", p.summary);
    text(VCAL_SLOT_LOCATION, "location", p.location);
    text(VCAL_SLOT_RESOURCES, "resources", p.resources);
    text(VCAL_SLOT_DESCRIPTION, "description", p.description);
    number(VCAL_SLOT_PRIORITY, "priority", p.priority);
    text(VCAL_SLOT_STATUS, "status", p.status);
    for (const TimeNode *n = p.exceptionDates.next; n != nullptr; n = n->next)
        number(VCAL_SLOT_EXDATE, "exdate", n->time);
    return out;
}

// Every item of a text, described; with `rewritten`, the tree all of them
// make in the writer's form.
std::vector<std::string> items(const std::string &text, ParseTreeHandle **rewritten = nullptr) {
    vcaltest::Reading reading;
    vcaltest::read(reading, text);
    std::vector<std::string> out;
    VCalendarNode *c = nullptr;
    for (int32_t got = vCal_GetFirstCalendar(reading.tree, &c); got == 0;
         got = vCal_GetNextCalendar(reading.tree, &c)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            const PropertyNode *lines = nullptr;
            for (int32_t rc = VI_takeItem(c, type, 1, &item, &lines); rc == 0;
                 rc = VI_takeItem(c, type, 0, &item, &lines)) {
                out.push_back(describe(item));
                if (rewritten != nullptr) {
                    EXPECT_EQ(VI_itemToWriterForm(&item, type, lines), 0);
                    EXPECT_EQ(vCal_AddxItemInfoToPTree(rewritten, &item, type, 0), 0) << out.back();
                }
                VI_releaseItem(&item);
            }
            VI_releaseItem(&item);
        }
    }
    return out;
}

// Items that come back the same from their rewritten text (all in one
// calendar, events first).
void expectRoundTrip(const std::string &text, const std::string &where) {
    ParseTreeHandle *tree = nullptr;
    std::vector<std::string> before = items(text, &tree);
    if (tree == nullptr) return;
    std::vector<std::string> after = items(written(tree));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << where;
    vCal_DestroyParseTree(&tree);
}

} // namespace

TEST(VcalWriter, ItemsComeBackTheSame) {
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word" + std::to_string(i) + (i % 7 == 6 ? "\t" : " ");
    expectRoundTrip("BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:-05:00\r\nBEGIN:VEVENT\r\n"
                    "DTSTART:19980612T090000\r\nDTEND:19980612T100000\r\nSUMMARY:" +
                        words + "end\r\nLOCATION:" + words +
                        "\r\nDESCRIPTION;ENCODING=QUOTED-PRINTABLE:one=0D=0A=0D=0Atwo " + words +
                        "\r\nCATEGORIES:HOLIDAY\r\nCLASS:CONFIDENTIAL\r\nPRIORITY:3\r\n"
                        "STATUS:TENTATIVE\r\nAALARM:19980612T084500Z;PT5M;2\r\n"
                        "DALARM:19980612T085000Z\r\nEXDATE:19980613T090000Z;19980614T090000\r\n"
                        "RESOURCES:a;b c\r\nATTENDEE;ROLE=OWNER:p1\r\nATTENDEE:p2\r\n"
                        "ATTACH:f1\r\nUID:u1\r\nEND:VEVENT\r\n"
                        "BEGIN:VTODO\r\nDTSTART:19980612T090000Z\r\nDUE:19980613T090000Z\r\n"
                        "COMPLETED:19980612T100000Z\r\nDCREATED:19980101T000000Z\r\n"
                        "CLASS:PRIVATE\r\nPRIORITY:B\r\nSTATUS:COMPLETED\r\n"
                        "CATEGORIES:SICK DAY\r\nSUMMARY:s\r\nEND:VTODO\r\n"
                        "BEGIN:VTODO\r\nCLASS:CONFIDENTIAL\r\nCATEGORIES:MISCELLANEOUS\r\n"
                        "PRIORITY:0\r\nEND:VTODO\r\nEND:VCALENDAR\r\n",
                    "built");
}

// Every vCalendar file of the corpus that reads cleanly: its items come
// back the same from their rewritten text.
TEST(VcalWriter, CorpusRoundTrip) {
    const std::filesystem::path dir = std::filesystem::path(VERSIT_CORPUS_DIR) / "vcal10";
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) GTEST_SKIP() << "no corpus at " << dir;
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        std::string extension = entry.path().extension().string();
        for (char &ch : extension)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (extension != ".vcs") continue;
        std::string text;
        if (FILE *f = std::fopen(entry.path().string().c_str(), "rb")) {
            char buffer[4096];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
                text.append(buffer, n);
            std::fclose(f);
        }
        vcaltest::Reading reading;
        vcaltest::read(reading, text);
        if (reading.rc != 0) continue;
        ++files;
        expectRoundTrip(text, entry.path().string());
    }
    EXPECT_GT(files, 50);
}
