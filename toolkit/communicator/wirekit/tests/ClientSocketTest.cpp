#include <wirekit/ClientSocket.h>

#include <wirekit/ServerSocket.h>

#include "WireTestSupport.h"

#include <lexikit/Parser.h>
#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace wiretest;

namespace {

const std::string kEnd(1, '\x04');

std::string Tell(const std::string& sender, const std::string& content = "(ping)")
{
    return "(tell :sender " + sender + " :receiver B :content " + content + ")";
}

std::vector<std::string> QueueOf(CClientSocket& socket)
{
    std::vector<std::string> out;
    for (CListElement* e = socket.get_queue()->get_element(0); e; e = e->get_next())
        out.push_back(e->get_name());
    return out;
}

// Feeds `stream` to buffer_data in pieces of random sizes up to max_chunk.
void FeedInChunks(CClientSocket& socket, std::string stream, std::mt19937& rng, size_t max_chunk)
{
    std::uniform_int_distribution<size_t> size(1, max_chunk);
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min(size(rng), stream.size() - at);
        socket.buffer_data(&stream[at], static_cast<int>(n));
        at += n;
    }
}

// A socket without a network, for driving the framing directly.
class FramingTest : public ::testing::Test {
protected:
    void SetUp() override { socket.set_logger(&log.logger); }

    std::string Frame(std::string data)
    {
        const char* last = socket.buffer_data(data.data(), static_cast<int>(data.size()));
        return last ? last : "(null)";
    }

    CLogFile log;
    CClientSocket socket{nullptr, nullptr};
};

// A server on 127.0.0.1 with one accepted connection from a blocking peer.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.set_logger(&log.logger);
        ASSERT_TRUE(server.Create(0, kLoopback));
        ASSERT_TRUE(server.Listen(5));
        ASSERT_TRUE(peer.connect_to(server.get_port()));
        ASSERT_TRUE(RunUntil(loop, [&] { return server.get_connection(0) != nullptr; }));
        connection = server.get_connection(0);
    }

    bool Send(const std::string& data) { return peer.send_all(data); }

    bool WaitForQueue(size_t size)
    {
        return RunUntil(loop, [&] { return QueueOf(*connection).size() == size; });
    }

    bool WaitForNotifications(size_t count)
    {
        return RunUntil(loop, [&] { return wnd.notifications.size() == count; });
    }

    CPollEventLoop loop;
    CLogFile log;
    CRecordingWnd wnd{&loop};
    CServerSocket server{&wnd};
    CPeer peer;
    CClientSocket* connection = nullptr;
};

} // namespace

TEST_F(FramingTest, CutsAtEveryEndOfMessageByteAndKeepsTheRest)
{
    EXPECT_EQ(Frame("A" + kEnd + "B" + kEnd + "hel"), "B");
    EXPECT_EQ(QueueOf(socket), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(socket.get_fragment_length(), 3u);
    EXPECT_EQ(Frame("lo" + kEnd), "hello");
    EXPECT_EQ(socket.get_fragment_length(), 0u);
    EXPECT_EQ(Frame("no end yet"), "(null)");
    EXPECT_EQ(QueueOf(socket), (std::vector<std::string>{"A", "B", "hello"}));
}

TEST_F(FramingTest, EachQueuedMessageIsReadOnceWhereItIsFramed)
{
    Frame(Tell("A") + kEnd + "junk" + kEnd);
    const CParsedMessage::Ptr first = socket.oldest_message();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(socket.oldest_message(), first) << "handed out as read, not read again";
    EXPECT_EQ(first->kind(), CParserBase::PARSER_TYPE_KQML);
    EXPECT_STREQ(first->sender(), "A");
    socket.remove_from_queue();
    EXPECT_EQ(first->text(), Tell("A")) << "a message outlives its place in the queue";
    ASSERT_NE(socket.oldest_message(), nullptr);
    EXPECT_FALSE(socket.oldest_message()->is_parsed());
}

TEST_F(FramingTest, EmptyPiecesAndNulBytes)
{
    EXPECT_EQ(Frame(kEnd + kEnd), "");
    EXPECT_EQ(Frame(std::string("a\0b", 3) + kEnd), "a b");
    EXPECT_EQ(QueueOf(socket), (std::vector<std::string>{"", "", "a b"}));
    EXPECT_EQ(socket.buffer_data(nullptr, 4), nullptr);
    char text[] = "x";
    EXPECT_EQ(socket.buffer_data(text, -1), nullptr);
    EXPECT_EQ(socket.get_fragment_length(), 0u);
}

TEST_F(FramingTest, LogsEachStepInOrder)
{
    Frame("one" + kEnd + "tw");
    Frame("o" + kEnd);
    Frame(kEnd.substr(0, 0));
    const std::vector<std::string> expected = {
        "<CClientSocket> Message complete, data displayed on next line",
        "one",
        "<CClientSocket> Message fragement detected at end of message, storing ...",
        "<CClientSocket> 2 bytes of an incomplete message held",
        "<CClientSocket> Partial message now complete, data displayed on next line",
        "two",
        "<CClientSocket> Message fragement detected at end of message, storing ...",
        "<CClientSocket> Message fragment is of length 0, this message probably originated "
        "from an older client",
        "<CClientSocket> Message fragement detected at end of message, storing ...",
        "<CClientSocket> Message fragment is of length 0, this message probably originated "
        "from an older client",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(FramingTest, RandomChunkingsGiveTheSameQueueAsOneWrite)
{
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<size_t> length(0, 5000);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> messages;
        std::string stream;
        for (int i = 0; i < 12; ++i) {
            std::string text(length(rng), 'a' + static_cast<char>(i));
            messages.push_back(text);
            stream += text + kEnd;
        }
        CClientSocket whole(nullptr, nullptr);
        std::string copy = stream;
        whole.buffer_data(copy.data(), static_cast<int>(copy.size()));
        CClientSocket pieces(nullptr, nullptr);
        FeedInChunks(pieces, stream, rng, 3000);
        EXPECT_EQ(QueueOf(whole), messages);
        EXPECT_EQ(QueueOf(pieces), messages) << "round " << round;
    }
}

TEST_F(FramingTest, AMessageOfOneMebibyteIsKeptAndOneByteMoreCutsTheConnectionOff)
{
    std::mt19937 rng(7);
    const std::string limit(CClientSocket::MAX_MESSAGE_LENGTH, 'x');
    FeedInChunks(socket, limit, rng, 2047);
    EXPECT_EQ(socket.get_fragment_length(), CClientSocket::MAX_MESSAGE_LENGTH);
    EXPECT_EQ(Frame(kEnd), limit);

    FeedInChunks(socket, limit, rng, 2047);
    EXPECT_EQ(Frame("y"), "(null)");
    EXPECT_EQ(socket.get_dirty(), 1);
    EXPECT_EQ(socket.get_fragment_length(), 0u);
    EXPECT_EQ(Frame("z" + kEnd), "(null)") << "a dirty socket frames nothing";
    EXPECT_EQ(QueueOf(socket).size(), 1u);
    EXPECT_EQ(log.count("<CClientSocket> Message fragment exceeds 1048576 bytes, closing connection"), 1);
    // Megabytes from a peer never land in the log: every line stays short.
    for (const std::string& line : log.lines())
        EXPECT_LE(line.size(), CClientSocket::LOGGED_BYTES + 64);
}

TEST_F(FramingTest, HttpTextIsQueuedWholeOnlyWhenItStartsAMessage)
{
    std::string request = "GET /status HTTP/1.0\r\n\r\n";
    ASSERT_EQ(socket.assign_parser(request.c_str()), 1);
    EXPECT_EQ(socket.get_parser_complete(), 1);
    EXPECT_EQ(Frame(request), request);
    EXPECT_EQ(log.count("<CClientSocket> HTTP parser assigned"), 1);
    EXPECT_EQ(log.count("<CClientSocket> HTTP message detected, circumventing defragmentation code"), 1);

    const std::string start = "(tell :sender A :content \"";
    ASSERT_EQ(socket.assign_parser(start.c_str()), 0);
    EXPECT_EQ(Frame(start), "(null)");
    std::string middle = "GET /x HTTP/1.0\r\n\r\nbody\")" + kEnd;
    ASSERT_EQ(socket.assign_parser(middle.c_str()), 1);
    EXPECT_EQ(Frame(middle), "(tell :sender A :content \"GET /x HTTP/1.0\r\n\r\nbody\")");
    EXPECT_EQ(socket.get_fragment_length(), 0u);
}

TEST_F(FramingTest, CompleteKqmlWithoutTheEndByteStaysAFragment)
{
    const std::string message = Tell("A");
    ASSERT_EQ(socket.assign_parser(message.c_str()), 1);
    EXPECT_EQ(Frame(message), "(null)");
    EXPECT_EQ(socket.get_fragment_length(), message.size());
    EXPECT_EQ(log.count("<CClientSocket> KQML parser assigned"), 1);
    EXPECT_EQ(log.count("<CClientSocket> Message is not a HTTP message, assuming full ACL message "
                        "with trailing fragment"),
              1);
}

TEST_F(FramingTest, QueueAccessOnAnEmptySocket)
{
    EXPECT_EQ(socket.mfc_getdata(), nullptr);
    socket.remove_from_queue();
    EXPECT_EQ(socket.mfc_send(nullptr), -1);
    const std::vector<std::string> expected = {
        "<CClientSocket> Attempting to retrieve data from empty socket",
        "<CClientSocket> Removing message from message queue",
        "<CClientSocket> Attempting to remove message from empty channel message queue",
        "<CClientSocket> Attempting to send empty message",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(FramingTest, ErrorNamesAndCopiedFields)
{
    socket.show_error(10054);
    socket.show_error(10013);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"<CClientSocket> Winsock Returned: [WSAECONNRESET]",
                                                     "<CClientSocket> Winsock Returned: [UNKNOWN]"}));
    EXPECT_STREQ(socket.get_receive_buffer(), "_empty_buffer");
    char reply[] = "Win32M42";
    socket.set_reply_with(reply);
    reply[0] = 'X';
    EXPECT_STREQ(socket.get_reply_with(), "Win32M42");
    socket.set_reply_with(nullptr);
    EXPECT_EQ(socket.get_reply_with(), nullptr);
}

TEST_F(ConnectionTest, TwoMessagesInOneReadSignalOnceAndAgainAfterRemoval)
{
    ASSERT_TRUE(Send(Tell("A", "(one)") + kEnd + Tell("A", "(two)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    ASSERT_TRUE(DeliverPosted(loop));
    EXPECT_EQ(QueueOf(*connection), (std::vector<std::string>{Tell("A", "(one)"), Tell("A", "(two)")}));
    EXPECT_EQ(wnd.notifications.size(), 1u);
    EXPECT_EQ(wnd.notifications[0].wparam, 1u);
    EXPECT_EQ(wnd.notifications[0].lparam, 0);
    EXPECT_STREQ(connection->mfc_getdata(), Tell("A", "(one)").c_str());

    connection->remove_from_queue();
    ASSERT_TRUE(WaitForNotifications(2));
    EXPECT_STREQ(connection->mfc_getdata(), Tell("A", "(two)").c_str());
    connection->remove_from_queue();
    EXPECT_EQ(connection->get_waiting_for_agent(), 0);
    ASSERT_TRUE(DeliverPosted(loop));
    EXPECT_EQ(wnd.notifications.size(), 2u);

    ASSERT_TRUE(Send(Tell("A", "(three)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(3)) << "an idle connection signals the next message";
}

TEST_F(ConnectionTest, MessagesWhileWaitingQueueWithoutASignal)
{
    ASSERT_TRUE(Send(Tell("A", "(one)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    ASSERT_TRUE(Send(Tell("A", "(two)") + kEnd));
    ASSERT_TRUE(WaitForQueue(2));
    ASSERT_TRUE(DeliverPosted(loop));
    EXPECT_EQ(wnd.notifications.size(), 1u);
    EXPECT_EQ(log.count("<CClientSocket> Just received new data but we're still waiting for the "
                        "agent to process the last data"),
              1);
}

TEST_F(ConnectionTest, AMessageSplitOverTwoReadsIsQueuedOnce)
{
    const std::string start = "(tell :sender A :content hel";
    ASSERT_TRUE(Send(start));
    ASSERT_TRUE(RunUntil(loop, [&] { return connection->get_fragment_length() == start.size(); }));
    ASSERT_TRUE(DeliverPosted(loop));
    EXPECT_TRUE(wnd.notifications.empty()) << "data without 0x04 signals nothing";
    EXPECT_TRUE(QueueOf(*connection).empty());
    EXPECT_EQ(log.count("<CClientSocket> No resulting message from current buffer operation"), 1);

    ASSERT_TRUE(Send("lo)" + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    EXPECT_EQ(QueueOf(*connection), std::vector<std::string>{"(tell :sender A :content hello)"});
}

// A peer that proves no name only claims the one it sends: nothing for that
// name is sent down its connection.
TEST_F(ConnectionTest, AnUnprovenSenderDoesNotNameTheConnection)
{
    ASSERT_TRUE(Send(Tell("alice") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    EXPECT_STREQ(connection->get_agentname(), CClientSocket::UNKNOWN_AGENT);
    EXPECT_EQ(connection->get_claimed_sender(), "alice");
    EXPECT_FALSE(connection->is_proven_for("alice"));
    EXPECT_EQ(server.find_connection("alice", nullptr, 0), nullptr);
    EXPECT_EQ(log.count("<CClientSocket> Connection claims to be agent [alice] without proving it"), 1);
}

// Trusted, as on a network of agents without keys, the first sender names
// the connection for good.
TEST_F(ConnectionTest, TheFirstSenderNamesTheConnectionForGood)
{
    server.set_trust_unproven(true);
    ASSERT_TRUE(Send(Tell("alice") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    EXPECT_STREQ(connection->get_agentname(), "alice");
    EXPECT_EQ(connection->get_sender_assigned(), 1);
    EXPECT_EQ(server.find_connection("alice", nullptr, 0), connection);
    connection->remove_from_queue();

    ASSERT_TRUE(Send(Tell("mallory") + kEnd));
    ASSERT_TRUE(WaitForNotifications(2));
    EXPECT_STREQ(connection->get_agentname(), "alice");
    EXPECT_EQ(log.count("<CClientSocket> Sender already assigned, skipping ..."), 1);
}

TEST_F(ConnectionTest, MessagesWithoutSenderOrForm)
{
    ASSERT_TRUE(Send("(tell :content (x))" + kEnd));
    ASSERT_TRUE(WaitForQueue(1));
    ASSERT_TRUE(Send("not a message" + kEnd));
    ASSERT_TRUE(WaitForQueue(2));
    ASSERT_TRUE(DeliverPosted(loop));
    EXPECT_TRUE(wnd.notifications.empty());
    EXPECT_STREQ(connection->get_agentname(), "unknown agent");
    EXPECT_EQ(log.count("<CClientSocket> Corrupted Message (no sender found)"), 1);
    EXPECT_EQ(log.count("<CClientSocket> Corrupted Message, unparsable!"), 1);
}

TEST_F(ConnectionTest, OneMessageLeavesThisTrailInTheLog)
{
    server.set_trust_unproven(true);
    const std::string message = Tell("A");
    ASSERT_TRUE(Send(message + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    const std::vector<std::string> expected = {
        "<CServerSocket> Accept succeeded",
        "<CClientSocket> Incoming data",
        "<CClientSocket> Raw data received, displaying on next line",
        message + kEnd,
        "<CClientSocket> Message complete, data displayed on next line",
        message,
        "<CClientSocket> Message fragement detected at end of message, storing ...",
        "<CClientSocket> Message fragment is of length 0, this message probably originated from "
        "an older client",
        "<CClientSocket> Parsing incoming message",
        "<CClientSocket> Connection now belongs to agent [A]",
        "<CClientSocket> Connection descriptor [0]",
        "<CClientSocket> Signalling CAgentContainer",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(ConnectionTest, RandomWritesArriveAsTheSameQueue)
{
    std::mt19937 rng(424242);
    std::uniform_int_distribution<size_t> length(1, 6000);
    std::vector<std::string> expected;
    std::string stream;
    for (int i = 0; i < 25; ++i) {
        expected.push_back(Tell("A", "\"" + std::string(length(rng), 'k') + "\""));
        stream += expected.back() + kEnd;
    }
    std::vector<size_t> cuts;
    std::uniform_int_distribution<size_t> chunk(1, 4000);
    for (size_t at = 0; at < stream.size(); at += chunk(rng))
        cuts.push_back(at);
    std::thread writer([&] {
        for (size_t i = 0; i < cuts.size(); ++i) {
            const size_t end = i + 1 < cuts.size() ? cuts[i + 1] : stream.size();
            peer.send_all(stream.substr(cuts[i], end - cuts[i]));
        }
    });
    const bool arrived = WaitForQueue(expected.size());
    writer.join();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(QueueOf(*connection), expected);
}

TEST_F(ConnectionTest, AHundredKibibyteMessageArrivesWhole)
{
    const std::string message = Tell("A", "\"" + std::string(100 * 1024, 'q') + "\"");
    std::thread writer([&] { peer.send_all(message + kEnd); });
    const bool arrived = WaitForNotifications(1);
    writer.join();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(QueueOf(*connection), std::vector<std::string>{message});
}

TEST_F(ConnectionTest, AFloodWithoutEndByteIsCutOff)
{
    const std::string flood(3 * CClientSocket::MAX_MESSAGE_LENGTH, 'f');
    std::thread writer([&] { peer.send_all(flood); });
    const bool cut = RunUntil(loop, [&] { return connection->get_dirty() == 1; });
    writer.join();
    ASSERT_TRUE(cut);
    EXPECT_EQ(peer.send("more"), 0u) << "the peer was cut off";
    EXPECT_EQ(connection->get_fragment_length(), 0u);
    EXPECT_EQ(connection->GetSocketHandle(), -1);
    EXPECT_EQ(log.count("<CClientSocket> Message fragment exceeds 1048576 bytes, closing connection"), 1);
    EXPECT_EQ(server.find_connection("A", nullptr, 0), nullptr);
}

TEST_F(ConnectionTest, SendReplacesLineBreaksAndStopsAtTheEndByte)
{
    char text[] = "(tell :sender me\n:content\r\n(x))\x04tail";
    const std::string sent = "(tell :sender me :content  (x))\x04";
    EXPECT_EQ(connection->mfc_send(text), static_cast<int>(sent.size()));
    EXPECT_EQ(peer.receive(sent.size()), sent);
    EXPECT_STREQ(text, "(tell :sender me :content  (x))\x04tail");

    char unterminated[] = "a\nb";
    EXPECT_EQ(connection->mfc_send(unterminated), 4);
    EXPECT_EQ(peer.receive(4), std::string("a b\0", 4));
}

TEST_F(ConnectionTest, AnOrderlyCloseKeepsTheConnectionAndItsQueue)
{
    ASSERT_TRUE(Send(Tell("A", "(one)") + kEnd + Tell("A", "(two)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    peer.close_now();
    ASSERT_TRUE(RunUntil(loop, [&] { return connection->GetSocketHandle() == -1; }));
    EXPECT_EQ(log.count("<CClientSocket> Winsock Returned: [UNKNOWN]"), 1);
    EXPECT_EQ(connection->get_dirty(), 0);
    EXPECT_EQ(server.get_connection(0), connection);
    // Its messages stay, but a reply must not be sent into it.
    EXPECT_EQ(server.find_connection("A", nullptr, 0), nullptr);

    connection->remove_from_queue();
    ASSERT_TRUE(WaitForNotifications(2)) << "what arrived before the close is still handed over";

    char reply[] = "(tell :sender B)\x04";
    EXPECT_EQ(connection->mfc_send(reply), -1) << "nobody reads a closed connection";
    EXPECT_EQ(connection->get_dirty(), 1);
    EXPECT_EQ(log.count("<CClientSocket> Winsock Returned: [WSAENOTSOCK]"), 1);
}

TEST_F(ConnectionTest, AResetMarksTheConnectionDirty)
{
    ASSERT_TRUE(Send(Tell("A") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    peer.reset();
    ASSERT_TRUE(RunUntil(loop, [&] { return connection->get_dirty() == 1; }));
    EXPECT_EQ(log.count("<CClientSocket> Winsock Returned: [WSAECONNRESET]"), 1);
    EXPECT_EQ(server.find_connection("A", nullptr, 0), nullptr);
    char text[] = "(tell)\x04";
    EXPECT_EQ(connection->mfc_send(text), -1);
    connection->remove_from_queue();
    EXPECT_STREQ(connection->mfc_getdata(), Tell("A").c_str()) << "ignored on a dirty socket";
}

TEST_F(ConnectionTest, FlushWhileWaitingLetsTheNextMessageSignal)
{
    ASSERT_TRUE(Send(Tell("A", "(one)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(1));
    connection->flush();
    EXPECT_TRUE(QueueOf(*connection).empty());
    ASSERT_TRUE(Send(Tell("A", "(two)") + kEnd));
    ASSERT_TRUE(WaitForNotifications(2));
}

TEST_F(ConnectionTest, AnHttpRequestIsQueuedWhole)
{
    const std::string request = "GET /agents HTTP/1.0\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(Send(request));
    ASSERT_TRUE(WaitForQueue(1));
    EXPECT_EQ(QueueOf(*connection), std::vector<std::string>{request});
    EXPECT_EQ(connection->get_parser()->get_parser_type(), CParserBase::PARSER_TYPE_HTTP);
}
