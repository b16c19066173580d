#include <namekit/ANSClient.h>

#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <string>

// The agent's key at the name server: signed registrations, and the keys
// of the agents it looks up.

std::string CANSClient::signed_request(const std::string& words)
{
    if (!signing_key || !server_takes_keys)
        return words;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    const std::int64_t at = std::max<std::int64_t>(now, last_signed + 1);
    last_signed = at;
    const std::string text = words + " " + signing_key->PublicKeyText() + " " + std::to_string(at);
    const std::string signature = signing_key->Sign(text);
    return signature.empty() ? words : text + " " + signature;
}

int CANSClient::send_signed(int kind, const char* name, const char* line_end)
{
    char* request = kind == REQUEST_REGISTER ? register_request.data() : unregister_request.data();
    const int done = ans_request(request, kind);
    if (done || !signing_key || !server_takes_keys ||
        std::strncmp(last_reply.data(), "error: usage:", 13) != 0)
        return done;
    // A server that knows nothing of keys: the name is registered as before.
    server_takes_keys = false;
    dprintf("<CANSClient> The ANS does not take keys; [%s] is sent without one", name);
    const int composed =
        kind == REQUEST_REGISTER ? compose_register(name) : compose_unregister(name, line_end);
    return composed ? ans_request(request, kind) : 0;
}

void CANSClient::lookup_key(CServiceInfo* record)
{
    const char* name = record ? record->get_name() : nullptr;
    if (!name || !compose(query_request.data(), "key %s\n", name))
        return;
    const Outcome outcome = exchange(query_request.data(), REQUEST_KEY);
    if (outcome == Outcome::NoAnswer)
        return;
    strip_line_end();
    const std::string key = outcome == Outcome::Answered ? last_reply.data() : "";
    if (!key.empty() && !CKeyPair::IsPublicKeyText(key)) {
        dprintf("<CANSClient> The ANS gave no key for [%s] but [%.80s]", name, key.c_str());
        record->set_key(std::string());
        return;
    }
    record->set_key(key);
}
