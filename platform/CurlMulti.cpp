#include <platform/CurlMulti.h>

#include <platform/CurlTransfer.h>

#include <utility>
#include <vector>

CCurlMulti::CCurlMulti(CEventLoop& loop) : m_loop(loop), m_loopLifetime(loop.Lifetime())
{
    if (!CCurlTransfer::StartLibrary())
        return;
    m_multi = curl_multi_init();
    if (!m_multi)
        return;
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CCurlMulti::OnSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CCurlMulti::OnTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CCurlMulti::~CCurlMulti()
{
    if (!m_multi)
        return;
    for (const auto& transfer : m_transfers)
        curl_multi_remove_handle(m_multi, transfer.first);
    m_transfers.clear();
    if (LoopAlive()) {
        for (curl_socket_t fd : m_watched)
            m_loop.RemoveWatch(fd);
        if (m_timer != CEventLoop::kNoTimer)
            m_loop.KillTimer(m_timer);
    }
    m_watched.clear();
    m_timer = CEventLoop::kNoTimer;
    // Nothing may reach this object while libcurl cleans up.
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    curl_multi_cleanup(m_multi);
}

bool CCurlMulti::Add(CURL* easy, Finished finished)
{
    if (!m_multi || !easy || !finished || m_transfers.count(easy) || !LoopAlive())
        return false;
    m_transfers.emplace(easy, std::move(finished));
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
        m_transfers.erase(easy);
        return false;
    }
    return true;
}

void CCurlMulti::Remove(CURL* easy)
{
    if (m_transfers.erase(easy) > 0)
        curl_multi_remove_handle(m_multi, easy);
}

int CCurlMulti::OnSocket(CURL*, curl_socket_t fd, int what, void* self, void*)
{
    static_cast<CCurlMulti*>(self)->Watch(fd, what);
    return 0;
}

void CCurlMulti::Watch(curl_socket_t fd, int what)
{
    if (!LoopAlive())
        return;
    if (what == CURL_POLL_REMOVE) {
        if (m_watched.erase(fd) > 0)
            m_loop.RemoveWatch(fd);
        return;
    }
    unsigned events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT)
        events |= CEventLoop::kReadable;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT)
        events |= CEventLoop::kWritable;
    if (m_watched.count(fd)) {
        m_loop.ModifyWatch(fd, events);
        return;
    }
    const bool added = m_loop.AddWatch(fd, events, [this](int ready, unsigned got) {
        int mask = 0;
        if (got & CEventLoop::kReadable)
            mask |= CURL_CSELECT_IN;
        if (got & CEventLoop::kWritable)
            mask |= CURL_CSELECT_OUT;
        Act(ready, mask);
    });
    if (added)
        m_watched.insert(fd);
}

int CCurlMulti::OnTimer(CURLM*, long timeoutMs, void* self)
{
    auto* multi = static_cast<CCurlMulti*>(self);
    if (!multi->LoopAlive())
        return 0;
    if (multi->m_timer != CEventLoop::kNoTimer)
        multi->m_loop.KillTimer(multi->m_timer);
    multi->m_timer = CEventLoop::kNoTimer;
    if (timeoutMs < 0)
        return 0;
    // Even "at once" goes through the loop: libcurl must not be called
    // from inside its own callback.
    multi->m_timer =
        multi->m_loop.AddTimer(static_cast<unsigned>(timeoutMs), false, [multi](CEventLoop::TimerId) {
            multi->m_timer = CEventLoop::kNoTimer;
            multi->Act(CURL_SOCKET_TIMEOUT, 0);
        });
    return 0;
}

void CCurlMulti::Act(curl_socket_t fd, int mask)
{
    int running = 0;
    curl_multi_socket_action(m_multi, fd, mask, &running);
    FinishDone();
}

void CCurlMulti::FinishDone()
{
    const std::weak_ptr<int> alive = m_alive;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* easy = message->easy_handle;
        const CURLcode result = message->data.result;
        auto it = m_transfers.find(easy);
        if (it == m_transfers.end())
            continue;
        // Moved out first: the callback may destroy the transfer, and this
        // object with it.
        Finished finished = std::move(it->second);
        m_transfers.erase(it);
        curl_multi_remove_handle(m_multi, easy);
        finished(result);
        if (alive.expired())
            return;
    }
}
