#include <lexikit/Parser.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A contract and an alternatives bid as the communicator puts them on the
// wire: the composed head, the content piece, then " ))".
const std::string CONTRACT =
    "(tell :receiver bob_example.com-CalendarAgent :sender alice_example.com-CalendarAgent"
    " :ontology default-language :language default-ontology :content ("
    " tell :type contract :negID 0930150123 :contractID 0930150456"
    " :expires (12/7/2026 9:49:22 AM)"
    " :attributes (tell :subject (Budget review) :body (Quarterly numbers)"
    " :location (Room 4) :attendees (alice_example.com-CalendarAgent,"
    "bob_example.com-CalendarAgent))"
    " :constraints (tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
    " :duration (60)) ))";

const std::string BID =
    "(tell :receiver alice_example.com-CalendarAgent :sender bob_example.com-CalendarAgent"
    " :ontology default-language :language default-ontology :content ("
    " tell :type bid :negID 0930150123 :contractID 0930150456 :bidID 0931029876"
    " :status alt :alternates (tell :t1 (12/8/2026 10:30:00 AM) :t2 (12/8/2026 1:00:00 PM)"
    " :t3 (12/8/2026 2:30:00 PM)) :duration 60"
    " :attributes (tell :subject (Budget review) :body (Quarterly numbers)"
    " :location (Room 4) :attendees (alice_example.com-CalendarAgent,"
    "bob_example.com-CalendarAgent))"
    " :constraints (tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
    " :duration (60)) ))";

const std::string& message_for(int which)
{
    return which == 0 ? CONTRACT : BID;
}

void BM_ParseMessage(benchmark::State& state)
{
    const std::string& message = message_for(static_cast<int>(state.range(0)));
    CParser parser;
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.parse_message(message.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
    state.SetLabel(state.range(0) == 0 ? "contract" : "bid");
}
BENCHMARK(BM_ParseMessage)->Arg(0)->Arg(1);

// What a reader does with one message: the outer parse, then the content.
void BM_ParseMessageAndContent(benchmark::State& state)
{
    const std::string& message = message_for(static_cast<int>(state.range(0)));
    CParser outer;
    CParser content;
    for (auto _ : state) {
        outer.parse_message(message.c_str());
        benchmark::DoNotOptimize(content.parse_message(outer.find_content()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
    state.SetLabel(state.range(0) == 0 ? "contract" : "bid");
}
BENCHMARK(BM_ParseMessageAndContent)->Arg(0)->Arg(1);

// find_token on a parsed content: an early key, a late key and a missing one.
void BM_FindToken(benchmark::State& state, const std::string& message, const char* key)
{
    CParser outer;
    outer.parse_message(message.c_str());
    CParser content;
    content.parse_message(outer.find_content());
    for (auto _ : state)
        benchmark::DoNotOptimize(content.find_token(key));
}
BENCHMARK_CAPTURE(BM_FindToken, contract_type, CONTRACT, "type");
BENCHMARK_CAPTURE(BM_FindToken, contract_constraints, CONTRACT, "constraints");
BENCHMARK_CAPTURE(BM_FindToken, contract_missing, CONTRACT, "optAttendees");
BENCHMARK_CAPTURE(BM_FindToken, bid_status, BID, "status");
BENCHMARK_CAPTURE(BM_FindToken, bid_constraints, BID, "constraints");

// A large content (a long free-text body) to see throughput beyond the
// per-message overhead.
void BM_ParseLargeMessage(benchmark::State& state)
{
    const std::string body(static_cast<std::size_t>(state.range(0)), 'x');
    const std::string message = "(tell :sender A :content (tell :body (" + body + ")))";
    CParser parser;
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.parse_message(message.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
}
BENCHMARK(BM_ParseLargeMessage)->Arg(64 << 10)->Arg(1 << 20);

} // namespace
