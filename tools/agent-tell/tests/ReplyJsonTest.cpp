#include "ReplyJson.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplyJsonTest, RepliesBecomeOneLineOfJson)
{
    const struct {
        const char* reply;
        const char* json;
    } cases[] = {
        {"(tell :receiver Tell :sender Ann :content ( echo ( (hello) ) ))",
         "{\"performative\":\"tell\",\"receiver\":\"Tell\",\"sender\":\"Ann\",\"content\":\"echo ( (hello) "
         ")\"}"},
        {"(tell :sender ann_x-CalendarAgent :in-reply-to Win32M1 :content ( tell :startTime (3/4/2031 "
         "10:00:00 AM)"
         " :duration (60) :status accept :timezone (UTC) ))",
         "{\"performative\":\"tell\",\"sender\":\"ann_x-CalendarAgent\",\"in-reply-to\":\"Win32M1\","
         "\"content\":\"tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone "
         "(UTC)\","
         "\"fields\":{\"performative\":\"tell\",\"startTime\":\"3/4/2031 10:00:00 AM\",\"duration\":\"60\","
         "\"status\":\"accept\",\"timezone\":\"UTC\"}}"},
        {"(sorry :sender Ann :content (say \"no\\\\\"))",
         "{\"performative\":\"sorry\",\"sender\":\"Ann\",\"content\":\"say \\\"no\\\\\\\\\\\"\"}"},
        {"garbage\x01", "{\"error\":\"not a KQML message\",\"text\":\"garbage\\u0001\"}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CReplyJson::Format(c.reply), c.json) << c.reply;
}

} // namespace
