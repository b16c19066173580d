#pragma once

#include <vespera/core/ScheduleSubscription.h>
#include <vespera/core/SubscriptionFile.h>

#include <graphstore/DocumentFetcher.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CAgentContext;
class CDocumentFetch;
class CScheduleImport;

// The web schedules the user subscribed to, followed from the event loop:
// each is fetched again every ScheduleRefreshHours (after a failed fetch
// within the hour), conditionally on the last answer's validators, and
// what it brings is imported as CScheduleImport::ImportSubscribed says.
// A fetch runs on the loop and takes at most the fetcher's time-out; the
// agent answers other agents meanwhile.
//
// They are kept in the subscriptions file after every change. While that
// file cannot be read, nothing is fetched and nothing is stored, so that
// nothing in it is lost; the user is told why at start.
class CScheduleSubscriptions {
public:
    // After a failed fetch, the next one comes this soon (or with the
    // period, if that is shorter).
    static constexpr std::int64_t RetrySeconds = 3600;

    CScheduleSubscriptions(CAgentContext& agent, CScheduleImport& import,
                           const std::string& path = CSubscriptionFile::DefaultPath());
    // Fetches still running are stopped.
    ~CScheduleSubscriptions();

    // Reads the file; false (logged and shown) when it cannot be read.
    // What changes or follows subscriptions reads it first if need be, so
    // that a file never read is never written over.
    bool Load();
    const std::vector<CScheduleSubscription>& List() const { return m_subscriptions; }
    const CScheduleSubscription* Find(const std::string& address) const;

    // Subscribes to an http, https or webcal address and fetches it at
    // once; false with `error` (nothing changed) otherwise.
    bool Subscribe(const std::string& address, std::string& error);
    // Ends a subscription; what it imported stays in the calendar as the
    // user's own. False when there is none at the address or it cannot be
    // stored.
    bool End(const std::string& address, std::string& error);

    // Starts the fetches that are due at `now` (seconds since 1970); the
    // agent's timer calls it.
    void FetchDue(std::int64_t now);
    // Starts a fetch of one subscription now; false when there is none or
    // it is being fetched.
    bool Refresh(const std::string& address);
    std::size_t FetchesRunning() const { return m_fetches.size(); }

    // `period`: the seconds between two fetches.
    static bool IsDue(const CScheduleSubscription& subscription, std::int64_t now, std::int64_t period);
    static bool IsSubscribable(const std::string& address);
    // The time `seconds` since 1970 in the user's zone, "2026-12-09 14:05";
    // "never" for 0.
    static std::string FetchTimeText(std::int64_t seconds);

    // How documents are fetched (tests shorten the time-out).
    void SetFetcher(const CDocumentFetcher& fetcher) { m_fetcher = fetcher; }
    // A period in seconds instead of ScheduleRefreshHours (tests).
    void SetRefreshSeconds(int seconds) { m_refreshSeconds = seconds; }

private:
    CScheduleSubscription* FindMutable(const std::string& address);
    void Fetched(const std::string& address, bool fetched, const CFetchedDocument& document,
                 const std::string& error);
    void Follow(CScheduleSubscription& subscription, const CFetchedDocument& document);
    bool Store(std::string& error);
    void StoreOrLog();

    CAgentContext& m_agent;
    CScheduleImport& m_import;
    CSubscriptionFile m_file;
    CDocumentFetcher m_fetcher;
    bool Usable();

    enum class State { NotRead, Usable, Unreadable };
    State m_state = State::NotRead;
    int m_refreshSeconds = 0;
    std::vector<CScheduleSubscription> m_subscriptions;
    std::map<std::string, std::unique_ptr<CDocumentFetch>> m_fetches;
};
