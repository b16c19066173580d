#include <ansd/AgentRegistry.h>

#include <algorithm>
#include <utility>

CAgentRegistry::CAgentRegistry(std::int64_t ttl, std::size_t maxNames, Clock clock)
    : ttl(std::max<std::int64_t>(ttl, 1)), maxNames(maxNames), clock(std::move(clock))
{
}

CAgentRegistry::RegisterResult CAgentRegistry::Register(std::string_view name, std::string_view url,
                                                        std::string_view owner, Proof proof)
{
    const std::int64_t now = clock();
    const auto it = entries.find(name);
    if (it == entries.end())
        return Add(name, url, owner, proof, now);
    Entry& entry = it->second;
    if (IsLive(entry, now)) {
        const RegisterResult allowed = Allows(entry, owner, proof);
        if (allowed != RegisterResult::Replaced)
            return allowed;
    } else {
        entry.key.clear();
        entry.signedAt = 0;
    }
    entry.url.assign(url);
    entry.owner.assign(owner);
    entry.refreshed = now;
    if (!proof.key.empty()) {
        entry.key.assign(proof.key);
        entry.signedAt = proof.signedAt;
    }
    ++revision;
    return RegisterResult::Replaced;
}

CAgentRegistry::RegisterResult CAgentRegistry::Allows(const Entry& entry, std::string_view owner, Proof proof)
{
    if (entry.key.empty())
        return entry.owner == owner ? RegisterResult::Replaced : RegisterResult::InUse;
    if (proof.key != entry.key)
        return RegisterResult::HeldByKey;
    return proof.signedAt > entry.signedAt ? RegisterResult::Replaced : RegisterResult::Replayed;
}

CAgentRegistry::RegisterResult CAgentRegistry::Add(std::string_view name, std::string_view url,
                                                   std::string_view owner, Proof proof, std::int64_t now)
{
    // A full registry looks for expired entries to make room, but at most once
    // per clock second, so that a flood of new names cannot make every
    // request walk the whole map.
    if (entries.size() >= maxNames && now != lastRoomSweep) {
        lastRoomSweep = now;
        Expire();
    }
    if (entries.size() >= maxNames)
        return RegisterResult::Full;
    entries.emplace(std::string(name), Entry{std::string(url), std::string(owner), now,
                                             std::string(proof.key), proof.key.empty() ? 0 : proof.signedAt});
    ++revision;
    return RegisterResult::Added;
}

CAgentRegistry::UnregisterResult CAgentRegistry::Unregister(std::string_view name, std::string_view owner,
                                                            Proof proof)
{
    const auto it = entries.find(name);
    if (it == entries.end() || !IsLive(it->second, clock()))
        return UnregisterResult::NotFound;
    switch (Allows(it->second, owner, proof)) {
    case RegisterResult::Replaced:
        break;
    case RegisterResult::InUse:
        return UnregisterResult::NotOwner;
    default:
        return UnregisterResult::HeldByKey;
    }
    entries.erase(it);
    ++revision;
    return UnregisterResult::Removed;
}

const CAgentRegistry::Entry* CAgentRegistry::Lookup(std::string_view name)
{
    const auto it = entries.find(name);
    if (it == entries.end() || !IsLive(it->second, clock()))
        return nullptr;
    return &it->second;
}

void CAgentRegistry::ForEachLive(const std::function<void(const std::string&, const Entry&)>& visit) const
{
    const std::int64_t now = clock();
    for (const auto& item : entries) {
        if (IsLive(item.second, now))
            visit(item.first, item.second);
    }
}

bool CAgentRegistry::Restore(const std::string& name, Entry entry)
{
    if (entries.count(name))
        return false;
    if (!IsLive(entry, clock()))
        return true;
    if (entries.size() >= maxNames)
        return false;
    entries.emplace(name, std::move(entry));
    ++revision;
    return true;
}

std::size_t CAgentRegistry::Expire()
{
    const std::int64_t now = clock();
    std::size_t removed = 0;
    for (auto it = entries.begin(); it != entries.end();) {
        if (IsLive(it->second, now)) {
            ++it;
            continue;
        }
        it = entries.erase(it);
        ++removed;
    }
    if (removed > 0)
        ++revision;
    return removed;
}

std::size_t CAgentRegistry::Size() const
{
    return entries.size();
}

std::uint64_t CAgentRegistry::Revision() const
{
    return revision;
}

std::int64_t CAgentRegistry::Ttl() const
{
    return ttl;
}

bool CAgentRegistry::IsLive(const Entry& entry, std::int64_t now) const
{
    // A clock that went back keeps the entry. The age is taken unsigned so
    // that no pair of times, however far apart, overflows.
    if (now < entry.refreshed)
        return true;
    const std::uint64_t age = static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(entry.refreshed);
    return age < static_cast<std::uint64_t>(ttl);
}
