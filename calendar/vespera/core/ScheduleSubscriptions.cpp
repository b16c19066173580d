#include <vespera/core/ScheduleSubscriptions.h>

#include <vespera/core/AgentContext.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/WebPage.h>

#include <graphstore/DocumentFetch.h>

#include <platform/BalloonSink.h>
#include <platform/EventLoop.h>
#include <platform/MessageBoxSink.h>

#include <algorithm>
#include <ctime>

namespace {

constexpr const char* Webcal = "webcal://";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

CScheduleSubscriptions::CScheduleSubscriptions(CAgentContext& agent, CScheduleImport& import,
                                               const std::string& path)
    : m_agent(agent), m_import(import), m_file(path)
{
}

CScheduleSubscriptions::~CScheduleSubscriptions() = default;

bool CScheduleSubscriptions::Load()
{
    std::string error;
    m_state = m_file.Load(m_subscriptions, error) ? State::Usable : State::Unreadable;
    if (m_state == State::Usable)
        return true;
    m_subscriptions.clear();
    const std::string text =
        "The schedule subscriptions in " + m_file.GetPath() + " cannot be read (" + error +
        "). The file is left as it is and no subscription is followed until it is mended "
        "or moved away and the agent started again.";
    m_agent.LogLine(text);
    CMessageBoxSink::Show(text);
    return false;
}

bool CScheduleSubscriptions::Usable()
{
    if (m_state == State::NotRead)
        Load();
    return m_state == State::Usable;
}

const CScheduleSubscription* CScheduleSubscriptions::Find(const std::string& address) const
{
    for (const CScheduleSubscription& subscription : m_subscriptions) {
        if (subscription.address == address)
            return &subscription;
    }
    return nullptr;
}

CScheduleSubscription* CScheduleSubscriptions::FindMutable(const std::string& address)
{
    return const_cast<CScheduleSubscription*>(Find(address));
}

bool CScheduleSubscriptions::IsSubscribable(const std::string& address)
{
    const bool web = webpage::IsWebAddress(address) || StartsWith(address, Webcal);
    return web && address.size() <= CSubscriptionFile::MaxFieldBytes &&
           !CDocumentFetcher::HostOf(address).empty() &&
           address.find_first_of(" \t\r\n") == std::string::npos &&
           address == CSubscriptionFile::FieldText(address);
}

bool CScheduleSubscriptions::Subscribe(const std::string& address, std::string& error)
{
    if (!Usable()) {
        error =
            "The subscriptions file " + m_file.GetPath() + " cannot be read; mend it or move it away first.";
        return false;
    }
    if (!IsSubscribable(address)) {
        error =
            "Only http://, https:// and webcal:// addresses without blanks can be subscribed to: " + address;
        return false;
    }
    if (Find(address)) {
        error = "Already subscribed to " + address;
        return false;
    }
    if (m_subscriptions.size() >= CSubscriptionFile::MaxSubscriptions) {
        error =
            "At most " + std::to_string(CSubscriptionFile::MaxSubscriptions) + " subscriptions are followed.";
        return false;
    }
    m_subscriptions.emplace_back().address = address;
    if (!Store(error)) {
        m_subscriptions.pop_back();
        return false;
    }
    m_agent.LogLine("Subscribed to " + address);
    Refresh(address);
    return true;
}

bool CScheduleSubscriptions::End(const std::string& address, std::string& error)
{
    const bool usable = Usable();
    const auto found =
        std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                     [&address](const CScheduleSubscription& s) { return s.address == address; });
    if (!usable || found == m_subscriptions.end()) {
        error = "No subscription to " + address;
        return false;
    }
    const CScheduleSubscription ended = *found;
    const auto position = found - m_subscriptions.begin();
    m_subscriptions.erase(found);
    if (!Store(error)) {
        m_subscriptions.insert(m_subscriptions.begin() + position, ended);
        return false;
    }
    m_fetches.erase(address);
    m_agent.LogLine("Subscription to " + address + " ended; what it imported stays in the calendar");
    return true;
}

bool CScheduleSubscriptions::IsDue(const CScheduleSubscription& subscription, std::int64_t now,
                                   std::int64_t period)
{
    const std::int64_t wait = subscription.failed ? std::min(period, RetrySeconds) : period;
    // A clock set back past the last fetch must not hold the next one off.
    return subscription.fetchedAt == 0 || now < subscription.fetchedAt ||
           now - subscription.fetchedAt >= wait;
}

void CScheduleSubscriptions::FetchDue(std::int64_t now)
{
    if (!Usable())
        return;
    const std::int64_t period =
        m_refreshSeconds > 0
            ? m_refreshSeconds
            : static_cast<std::int64_t>(m_agent.GetSettings().GetScheduleRefreshHours()) * 3600;
    std::vector<std::string> due;
    for (const CScheduleSubscription& subscription : m_subscriptions) {
        if (!m_fetches.count(subscription.address) && IsDue(subscription, now, period))
            due.push_back(subscription.address);
    }
    for (const std::string& address : due)
        Refresh(address);
}

bool CScheduleSubscriptions::Refresh(const std::string& address)
{
    const bool usable = Usable();
    CScheduleSubscription* subscription = FindMutable(address);
    CEventLoop* loop = CEventLoop::Current();
    if (!usable || !subscription || m_fetches.count(address) || !loop)
        return false;
    CDocumentFetcher fetcher = m_fetcher;
    fetcher.SetValidators(subscription->etag, subscription->lastModified);
    // Held before the fetch starts: an answer at once finds it there.
    m_fetches[address];
    std::unique_ptr<CDocumentFetch> fetch = fetcher.Start(
        address, *loop, [this, address](bool fetched, CFetchedDocument& document, const std::string& error) {
            Fetched(address, fetched, document, error);
        });
    if (fetch)
        m_fetches[address] = std::move(fetch);
    return true;
}

void CScheduleSubscriptions::Fetched(const std::string& address, bool fetched,
                                     const CFetchedDocument& document, const std::string& error)
{
    // Ended: it goes once this returns.
    std::unique_ptr<CDocumentFetch> ended;
    if (auto it = m_fetches.find(address); it != m_fetches.end()) {
        ended = std::move(it->second);
        m_fetches.erase(it);
    }
    CScheduleSubscription* subscription = FindMutable(address);
    if (!subscription)
        return;
    const bool first = subscription->fetchedAt == 0;
    subscription->fetchedAt = Now();
    subscription->failed = !fetched;
    if (!fetched) {
        subscription->result = error;
        m_agent.LogLine("Subscribed schedule " + address + " not fetched: " + error);
    } else if (document.notModified) {
        subscription->result = "Not changed since the last fetch";
    } else {
        Follow(*subscription, document);
    }
    if (fetched)
        m_agent.LogLine("Subscribed schedule " + address + ": " + subscription->result);
    // The user who just subscribed hears how the first fetch went; later
    // ones are on the options sheet.
    if (first)
        CBalloonSink::Show("Schedule Subscription", address + "\n" + subscription->result);
    StoreOrLog();
}

void CScheduleSubscriptions::Follow(CScheduleSubscription& subscription, const CFetchedDocument& document)
{
    const CScheduleImport::SOutcome outcome =
        m_import.ImportSubscribed(document, subscription.address, subscription.items);
    subscription.failed = !outcome.imported;
    if (!outcome.imported) {
        subscription.result = "Not imported: " + outcome.failure;
        return;
    }
    // Only a document that was imported may be skipped next time.
    subscription.etag = document.etag;
    subscription.lastModified = document.lastModified;
    subscription.result =
        std::to_string(outcome.written) + " written, " + std::to_string(outcome.removed) + " removed";
    if (outcome.released > 0)
        subscription.result += ", " + std::to_string(outcome.released) + " changed by you and kept";
}

bool CScheduleSubscriptions::Store(std::string& error)
{
    if (m_file.Save(m_subscriptions, error))
        return true;
    error = "The subscriptions could not be stored in " + m_file.GetPath() + ": " + error;
    m_agent.LogLine(error);
    return false;
}

void CScheduleSubscriptions::StoreOrLog()
{
    std::string error;
    Store(error);
}

std::string CScheduleSubscriptions::FetchTimeText(std::int64_t seconds)
{
    if (seconds == 0)
        return "never";
    const auto when = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32];
    if (!localtime_r(&when, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0)
        return "unknown";
    return text;
}
