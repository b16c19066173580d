#pragma once

#include <platform/EventLoop.h>

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

// libcurl's multi interface driven by the event loop: the sockets libcurl
// wants watched become the loop's watchers and its time-out the loop's
// timer, so transfers make progress between everything else the loop
// serves, on the one thread, and none of them waits for a slow server.
//
// A transfer's `finished` runs on the loop when it ends, never from inside
// Add. It may destroy this object; the transfers still held then are
// stopped without being told.
class CCurlMulti {
public:
    using Finished = std::function<void(CURLcode result)>;

    explicit CCurlMulti(CEventLoop& loop);
    ~CCurlMulti();

    CCurlMulti(const CCurlMulti&) = delete;
    CCurlMulti& operator=(const CCurlMulti&) = delete;

    // Starts an easy handle the caller keeps; false when libcurl refuses it.
    bool Add(CURL* easy, Finished finished);
    // Stops a transfer without calling its `finished`.
    void Remove(CURL* easy);
    std::size_t Running() const { return m_transfers.size(); }

private:
    static int OnSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketData);
    static int OnTimer(CURLM* multi, long timeoutMs, void* self);
    void Watch(curl_socket_t fd, int what);
    void Act(curl_socket_t fd, int mask);
    void FinishDone();
    bool LoopAlive() const { return !m_loopLifetime.expired(); }

    CEventLoop& m_loop;
    std::weak_ptr<const void> m_loopLifetime;
    CURLM* m_multi = nullptr;
    std::set<curl_socket_t> m_watched;
    CEventLoop::TimerId m_timer = CEventLoop::kNoTimer;
    std::map<CURL*, Finished> m_transfers;
    // Expires with the object, so that a callback that destroyed it is
    // noticed before anything of it is touched again.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
