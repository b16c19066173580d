#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input through one parser of outside text, checking the properties
// that must hold for every input. Each returns false when a property failed;
// crashes, leaks and undefined behaviour are left to the sanitizers. The
// libFuzzer targets and the corpus replay test both call these.
class CFuzzEntries {
public:
    // CParser: parse, every accessor, find_token of every token, the walks,
    // compose_message of the values found and a parse of its completion, and
    // a parse of the parser's own content value.
    static bool parser(const std::uint8_t* data, std::size_t size);
    // CURL::parse_url and every getter.
    static bool url(const std::uint8_t* data, std::size_t size);
    // CCommandLine::parse_commandline on the input split into arguments at
    // line feeds and NUL bytes, then find_token of every option.
    static bool commandline(const std::uint8_t* data, std::size_t size);
    // CClientSocket::buffer_data fed the input in chunks whose sizes the
    // input chooses: the queue must be the input cut at every 0x04 (NUL bytes
    // as blanks), and the unfinished rest must come out when a 0x04 follows.
    // The first byte gives how many of the next bytes (0 to 15) are chunk
    // sizes, each that byte plus one, used in turn; the rest is the stream.
    static bool framing(const std::uint8_t* data, std::size_t size);
    // The name server's request handling: the input after its first byte
    // arrives in pieces (sized by that byte), is cut into lines and answered
    // with a moving clock and changing peers; every reply ends with "\r\n"
    // and its only 0x04, and the registry holds only valid entries (keys
    // among them).
    static bool ansd(const std::uint8_t* data, std::size_t size);
    // CVCardFile::Parse; when it parses, every card through Format (lines of
    // at most 75 octets) and the whole parsed again: as many cards with the
    // same fields, and each card's uid kept (a fresh one where there was none).
    static bool vcard(const std::uint8_t* data, std::size_t size);
    // CRegFile::Parse of a hive's text; when it parses, Serialize and parse
    // again: the same keys with the same values, and the same text written.
    static bool regfile(const std::uint8_t* data, std::size_t size);
    // CSubscriptionFile::Parse; a refusal must give a reason. When it
    // parses, the text written for it parses again to the same text.
    static bool subscriptions(const std::uint8_t* data, std::size_t size);
    // CICalendarFile::Parse; a refusal must give a reason. When it parses,
    // Serialize and parse again: as many items; then an added event must
    // serialise to text that parses with it, under its id, as the last item.
    static bool icalendar(const std::uint8_t* data, std::size_t size);
    // The calendar agent's dispatcher and content handlers (contracts, bids,
    // awards, confirms, appointment requests and commands) on one agent that
    // lives across inputs, its sends recorded: the first byte picks the
    // sender (organiser, attendee or stranger), the rest is the content.
    static bool dms(const std::uint8_t* data, std::size_t size);
    // A web schedule read by the graph store (the first byte picks the
    // content type it is served with: none, RDF/XML, Turtle, N-Triples or
    // iCalendar) and filled into calendar objects: a refusal gives a
    // reason; every filled calendar has a title and events, each with a
    // start, no negative length or alarm and no empty attendee; every
    // event becomes one appointment with an identity.
    static bool schedule(const std::uint8_t* data, std::size_t size);
    // One datagram through the discovery module: a result from 0 to 4,
    // answers sent only for a search, and the agent never recorded as a
    // service of its own network.
    static bool ssdp(const std::uint8_t* data, std::size_t size);
    // CDateTime::ParseDateTime: a time read is written as text that reads
    // back as the same time.
    static bool datetime(const std::uint8_t* data, std::size_t size);
    // A zone's name (the input's first line) and a time (the rest): a zone
    // the database knows names itself and its wall clock meets its
    // instants; a schedule's time in it reads as the same instant in UTC
    // text; a message naming it reads its times or leaves them invalid.
    static bool timezone(const std::uint8_t* data, std::size_t size);
    // A TLS server session fed the input in pieces (sized by its first
    // byte): it never stands and gives no text, and only a handshake record
    // is taken for a hello.
    static bool tls(const std::uint8_t* data, std::size_t size);
    // CDavMultistatus::Parse of a server's answer: a refusal gives a reason;
    // what is read has every property under a namespaced name and no href
    // or token with a line break left at its ends.
    static bool multistatus(const std::uint8_t* data, std::size_t size);
    // The CalDAV journal's file: what reads is written so that it reads back
    // the same, every entry naming its resource.
    static bool journal(const std::uint8_t* data, std::size_t size);
    // The KQML form of a time-slot store built from the input (nine bytes a
    // slot): one expression whose tokens give back every start in order.
    static bool timeslots(const std::uint8_t* data, std::size_t size);
    // The name-server client reading the input as the reply to a lookup, a
    // listing or a registration (the first byte picks which), from a stand-in
    // server on 127.0.0.1: the location table keeps named records only.
    static bool ans_reply(const std::uint8_t* data, std::size_t size);
    // The name server's state file: what loads is written so that it loads
    // back the same; a refusal names the file.
    static bool ansd_state(const std::uint8_t* data, std::size_t size);
};
