#include <wirekit/Communicator.h>

#include <wirekit/Discovery.h>

#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>

// Whose key a name is: what the name server holds, what this agent pinned,
// and what an announcement on the local network claims.

std::string CCommunicator::key_of_name(const char* name)
{
    CServiceInfo* record = name ? find_record(name) : nullptr;
    if (!record || record->get_key().empty()) {
        comm_activate_lookup(name);
        record = name ? find_record(name) : nullptr;
    }
    return pinned_key(name, record);
}

std::string CCommunicator::pinned_key(const char* name, const CServiceInfo* record)
{
    if (!name)
        return std::string();
    const std::string served = record ? record->get_key() : std::string();
    if (served.empty())
        return key_pins.Pinned(name);
    // Anyone on the network can announce a key for a name: it is pinned
    // only once its holder proved it (key_proven).
    if (record->get_localisation()) {
        const std::string pinned = key_pins.Pinned(name);
        return pinned.empty() ? served : pinned;
    }
    const CKeyPins::Outcome outcome = key_pins.Check(name, served);
    report_pin_save();
    if (outcome != CKeyPins::Outcome::Changed)
        return served;
    report_key_change(name, served);
    return key_pins.Pinned(name);
}

void CCommunicator::report_key_change(const char* name, const std::string& shown)
{
    if (!key_change_told.insert(name).second)
        return;
    const std::string notice = "The agent " + std::string(name) + " now shows another key (" +
                               CKeyPair::FingerprintOf(shown) + ") than the one it had (" +
                               CKeyPair::FingerprintOf(key_pins.Pinned(name)) +
                               "): it is refused, and nothing goes to it under that name. If its user made a "
                               "new key, remove the line of " +
                               name + " from " + key_pins.Path() + ".";
    debug(notice.c_str());
    if (key_changed)
        key_changed(notice);
}

bool CCommunicator::believes_announcement(const std::string& name, const std::string& key)
{
    if (!key.empty() && !CKeyPair::IsPublicKeyText(key))
        return false;
    const std::string pinned = key_pins.Pinned(name);
    if (!key.empty() && !pinned.empty() && pinned != key) {
        report_key_change(name.c_str(), key);
        return false;
    }
    if (trust_unproven)
        return true;
    // Without a key of its own this agent cannot ask for the proof.
    return key_pair && !key.empty();
}

void CCommunicator::key_proven(const char* name, const std::string& key)
{
    if (!name || !*name || key.empty())
        return;
    key_pins.Check(name, key);
    report_pin_save();
}

void CCommunicator::report_pin_save()
{
    const std::string error = key_pins.TakeSaveError();
    if (!error.empty())
        dprintf("<CCommunicator> The keys seen for agents' names could not be saved in [%s]: %s; they are "
                "held until the agent stops",
                key_pins.Path().c_str(), error.c_str());
}

bool CCommunicator::may_deliver(const CServiceInfo* record, const std::string& key) const
{
    return !record || !record->get_localisation() || trust_unproven || (key_pair && !key.empty());
}

void CCommunicator::take_discovery_keys(CLookupModule* module)
{
    auto* found = dynamic_cast<CDiscovery*>(module);
    if (!found)
        return;
    found->set_key_source([this] { return key_pair ? key_pair->PublicKeyText() : std::string(); });
    found->set_key_check(
        [this](const std::string& name, const std::string& key) { return believes_announcement(name, key); });
}

void CCommunicator::set_key_pins(std::string path, std::function<void(const std::string&)> changed,
                                 bool keep_new)
{
    key_pins = CKeyPins(std::move(path), keep_new);
    key_changed = std::move(changed);
}
