// Writing vCalendar: client records and items into a tree, the lines and
// their folding, the stream with its framing, failing sinks and
// allocation failures.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "vcal_support.h"

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
    } cases[] = {{0, 0x10002, true, 0, "ORGANIZER"},
                 {1, 0x30004, true, 0, "ATTENDEE"},
                 {2, 0x30004, true, 0, "RESOURCES"},
                 {3, 0x30004, false, KL_LIST_NOT_FOUND, ""}};
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
         VCAL_ERR_NO_CALENDAR_CLOSED, "WriteErrLog: errmesg is NULL"}};
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

// What was written before the failing byte stays written.
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
    for (size_t at = 0; at < whole.size(); ++at) {
        ByteSink sink;
        sink.failAt = at;
        LogCapture log;
        ASSERT_EQ(vCal_ParseTreeToStreamPut(tree, &sink, ByteSink::put, "1.0", nullptr), 0x7777);
        EXPECT_EQ(sink.text, whole.substr(0, at));
        EXPECT_EQ(log.errors().at(0), "vCal_PutALineToStream (vCalStreamNextBytePut)") << at;
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
