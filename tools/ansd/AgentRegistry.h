#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// The registered agents: name -> address, with the peer address that owns
// the name and when the entry was last refreshed. Times are seconds of the
// injected clock (wall-clock seconds in the server, so that the state file's
// times still mean something after a restart).
//
// An entry lives for `ttl` seconds after its last refresh. Expired entries
// are invisible at once and removed by Expire().
class CAgentRegistry {
public:
    using Clock = std::function<std::int64_t()>;

    struct Entry {
        std::string url;
        std::string owner;
        std::int64_t refreshed = 0;
        // The public key that holds the name ("ed25519:..."), empty for a
        // name registered without one, and the time (milliseconds since
        // 1970) of the newest signed request taken for it: an older one is a
        // replay.
        std::string key;
        std::int64_t signedAt = 0;
    };

    // What a signed request proves: the key it was signed with, and when.
    // An empty key proves nothing.
    // (No member initialisers: `{}` gives no key at time 0, and may stand as
    // a default argument here.)
    struct Proof {
        std::string_view key;
        std::int64_t signedAt;
    };

    enum class RegisterResult { Added, Replaced, InUse, Full, HeldByKey, Replayed };
    enum class UnregisterResult { Removed, NotFound, NotOwner, HeldByKey };

    // `maxNames` bounds the live entries; `ttl` is at least 1 second.
    CAgentRegistry(std::int64_t ttl, std::size_t maxNames, Clock clock);

    // Adds the name, or replaces its address and refreshes it when it has
    // expired or `owner` owns it. A name held by a key is only ever changed
    // by a newer request signed with that key, from any address. The caller
    // validates the texts and checks the proof's signature.
    RegisterResult Register(std::string_view name, std::string_view url, std::string_view owner,
                            Proof proof = {});
    UnregisterResult Unregister(std::string_view name, std::string_view owner, Proof proof = {});
    // The clock's time now.
    std::int64_t Now() const { return clock(); }
    // The live entry of the name, or null. Valid until the next change.
    const Entry* Lookup(std::string_view name);

    // Calls `visit` for every live entry in name order.
    void ForEachLive(const std::function<void(const std::string&, const Entry&)>& visit) const;

    // Puts back an entry read from saved state; expired entries are skipped
    // (true), a duplicate name or a full registry fails (false).
    bool Restore(const std::string& name, Entry entry);

    // Removes expired entries; returns how many.
    std::size_t Expire();

    // Entries held, expired ones not yet removed included.
    std::size_t Size() const;
    // Changes whenever the set of entries or any entry changes, so that a
    // saver can tell whether there is anything new to write.
    std::uint64_t Revision() const;
    std::int64_t Ttl() const;

private:
    using Map = std::map<std::string, Entry, std::less<>>;

    bool IsLive(const Entry& entry, std::int64_t now) const;
    RegisterResult Add(std::string_view name, std::string_view url, std::string_view owner, Proof proof,
                       std::int64_t now);
    // Whether a request with `proof` may change the live `entry`.
    static RegisterResult Allows(const Entry& entry, std::string_view owner, Proof proof);

    Map entries;
    std::int64_t ttl;
    std::size_t maxNames;
    Clock clock;
    std::uint64_t revision = 0;
    // When a full registry last looked for expired entries to make room.
    std::int64_t lastRoomSweep = -1;
};
