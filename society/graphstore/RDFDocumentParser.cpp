#include <graphstore/RDFDocumentParser.h>

#include <graphstore/ZonedTime.h>

#include <graphkit/RDFGraph.h>
#include <platform/EventLoop.h>

#include <raptor2.h>

#include <algorithm>
#include <memory>

namespace {

bool Contains(const std::string& text, const char* piece)
{
    return text.find(piece) != std::string::npos;
}

struct CParseState {
    CRDFGraph* graph;
    std::string* triples;
    std::string error;
    std::size_t count = 0;
};

std::string TermText(raptor_term* term)
{
    switch (term->type) {
    case RAPTOR_TERM_TYPE_URI:
        return reinterpret_cast<const char*>(raptor_uri_as_string(term->value.uri));
    case RAPTOR_TERM_TYPE_BLANK:
        return std::string(reinterpret_cast<const char*>(term->value.blank.string),
                           term->value.blank.string_len);
    case RAPTOR_TERM_TYPE_LITERAL:
        return std::string(reinterpret_cast<const char*>(term->value.literal.string),
                           term->value.literal.string_len);
    default:
        return std::string();
    }
}

// A literal typed with a time-zone datatype is a wall-clock time of that
// zone; it is kept as the instant it names.
std::string LiteralText(raptor_term* term)
{
    const std::string text = TermText(term);
    if (!term->value.literal.datatype)
        return text;
    const std::string datatype =
        reinterpret_cast<const char*>(raptor_uri_as_string(term->value.literal.datatype));
    const std::string zone = zonedtime::ZoneOfDatatype(datatype);
    return zone.empty() ? text : zonedtime::ToUtcText(text, zone);
}

CRDFNode* NodeOf(CRDFGraph& graph, raptor_term* term)
{
    switch (term->type) {
    case RAPTOR_TERM_TYPE_URI:
        return graph.Intern(CRDFNode::Resource, TermText(term));
    case RAPTOR_TERM_TYPE_BLANK:
        return graph.Intern(CRDFNode::Blank, TermText(term));
    default:
        return graph.Intern(CRDFNode::Literal, LiteralText(term));
    }
}

std::string Written(raptor_term* term)
{
    switch (term->type) {
    case RAPTOR_TERM_TYPE_URI:
        return "<" + TermText(term) + ">";
    case RAPTOR_TERM_TYPE_BLANK:
        return "_:" + TermText(term);
    default:
        return "\"" + TermText(term) + "\"";
    }
}

void OnStatement(void* user, raptor_statement* statement)
{
    auto* state = static_cast<CParseState*>(user);
    if (!statement->subject || !statement->predicate || !statement->object ||
        statement->predicate->type != RAPTOR_TERM_TYPE_URI)
        return;
    CRDFNode* subject = NodeOf(*state->graph, statement->subject);
    CRDFNode* object = NodeOf(*state->graph, statement->object);
    state->graph->AddEdge(subject, TermText(statement->predicate), object);
    *state->triples += Written(statement->subject) + " " + Written(statement->predicate) + " " +
                       Written(statement->object) + " .\n";
    ++state->count;
}

void OnMessage(void* user, raptor_log_message* message)
{
    auto* state = static_cast<CParseState*>(user);
    if (message->level < RAPTOR_LOG_LEVEL_ERROR || !state->error.empty())
        return;
    state->error = message->text ? message->text : "unreadable RDF";
    if (message->locator && message->locator->line > 0)
        state->error += " (line " + std::to_string(message->locator->line) + ")";
}

// A large document parses for seconds without returning to the loop; a
// signal to end (SIGTERM) is looked for between chunks, so that it ends the
// parse at once instead.
bool ParseInChunks(raptor_parser* parser, const std::string& text, bool& stopped)
{
    constexpr std::size_t ChunkBytes = 256 * 1024;
    std::size_t at = 0;
    for (;;) {
        const std::size_t size = std::min(ChunkBytes, text.size() - at);
        const bool last = at + size == text.size();
        if (raptor_parser_parse_chunk(parser, reinterpret_cast<const unsigned char*>(text.data() + at), size,
                                      last ? 1 : 0) != 0)
            return false;
        if (last)
            return true;
        at += size;
        if (CEventLoop::SignalArrived()) {
            stopped = true;
            return false;
        }
    }
}

} // namespace

std::string CRDFDocumentParser::SyntaxFor(const std::string& contentType, const std::string& text)
{
    if (Contains(contentType, "rdf+xml"))
        return "rdfxml";
    if (Contains(contentType, "turtle") || Contains(contentType, "n3"))
        return "turtle";
    if (Contains(contentType, "n-triples"))
        return "ntriples";
    const std::string head = text.substr(0, 4096);
    if (Contains(head, "<rdf:RDF") || Contains(head, "<?xml") || Contains(head, "<RDF"))
        return "rdfxml";
    // Turtle reads N-Triples too, and relative URIs besides.
    return "turtle";
}

bool CRDFDocumentParser::Parse(const std::string& text, const std::string& contentType,
                               const std::string& baseUri, CRDFGraph& graph, std::string& triples,
                               std::string& error)
{
    std::unique_ptr<raptor_world, decltype(&raptor_free_world)> world(raptor_new_world(), raptor_free_world);
    if (!world || raptor_world_open(world.get()) != 0) {
        error = "The RDF reader could not be started.";
        return false;
    }
    CParseState state{&graph, &triples, std::string(), 0};
    raptor_world_set_log_handler(world.get(), &state, OnMessage);
    const std::string syntax = SyntaxFor(contentType, text);
    std::unique_ptr<raptor_parser, decltype(&raptor_free_parser)> parser(
        raptor_new_parser(world.get(), syntax.c_str()), raptor_free_parser);
    if (!parser) {
        error = "No RDF reader for " + syntax + ".";
        return false;
    }
    // A document from the web must not make the reader fetch anything.
    raptor_parser_set_option(parser.get(), RAPTOR_OPTION_NO_NET, nullptr, 1);
    raptor_parser_set_option(parser.get(), RAPTOR_OPTION_NO_FILE, nullptr, 1);
    raptor_parser_set_option(parser.get(), RAPTOR_OPTION_LOAD_EXTERNAL_ENTITIES, nullptr, 0);
    raptor_parser_set_statement_handler(parser.get(), &state, OnStatement);
    const std::string base = baseUri.empty() ? std::string("urn:orvante:document") : baseUri;
    std::unique_ptr<raptor_uri, decltype(&raptor_free_uri)> uri(
        raptor_new_uri(world.get(), reinterpret_cast<const unsigned char*>(base.c_str())), raptor_free_uri);
    if (!uri || raptor_parser_parse_start(parser.get(), uri.get()) != 0) {
        error = "The document's address cannot serve as a base: " + base;
        return false;
    }
    bool stopped = false;
    const bool failed = !ParseInChunks(parser.get(), text, stopped);
    if (stopped) {
        error = "Reading stopped: the agent is ending.";
        return false;
    }
    if (failed || !state.error.empty()) {
        error = "Not RDF (" + syntax + "): " + (state.error.empty() ? "the reader gave up" : state.error);
        return false;
    }
    if (state.count == 0) {
        error = "Not RDF (" + syntax + "): the document holds no statement.";
        return false;
    }
    return true;
}
