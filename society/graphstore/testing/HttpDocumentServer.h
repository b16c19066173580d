#pragma once

// A small HTTP server on 127.0.0.1 for tests: it serves the documents it is
// given by path, with their content types and validators (ETag,
// Last-Modified; 304 to a request that names the current one), answers
// 404 for others and
// 302 for the redirects it is told of, one connection at a time, on a
// thread of its own until it goes. A path it is told to hold is answered
// only once it is released: the server that accepts and never answers.

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

class CHttpDocumentServer {
public:
    CHttpDocumentServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 16);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CHttpDocumentServer()
    {
        m_stop = true;
        Release();
        m_thread.join();
        ::close(m_listener);
    }
    CHttpDocumentServer(const CHttpDocumentServer&) = delete;
    CHttpDocumentServer& operator=(const CHttpDocumentServer&) = delete;

    void Put(const std::string& path, const std::string& contentType, const std::string& body,
             const std::string& etag = std::string(), const std::string& lastModified = std::string())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_documents[path] = {contentType, body, etag, lastModified};
    }
    // The head of the last request received, its header lines included.
    std::string LastRequest() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastRequest;
    }
    int NotModifiedAnswers() const { return m_notModified; }
    void Redirect(const std::string& path, const std::string& to)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_redirects[path] = to;
    }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int Requests() const { return m_requests; }
    // Requests of `path` wait, with their connection open, until Release.
    void Hold(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = path;
        m_released = false;
    }
    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_holdChanged.notify_all();
    }
    // Requests held now, waiting for Release.
    int Holding() const { return m_holding; }

private:
    struct SDocument {
        std::string contentType;
        std::string body;
        std::string etag;
        std::string lastModified;
    };

    void Serve()
    {
        while (!m_stop) {
            pollfd item{m_listener, POLLIN, 0};
            if (::poll(&item, 1, 50) <= 0)
                continue;
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                Answer(connection);
                ::close(connection);
            }
        }
    }

    void Answer(int connection)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd item{connection, POLLIN, 0};
            if (::poll(&item, 1, 2000) <= 0)
                return;
            const ssize_t got = ::read(connection, buffer, sizeof buffer);
            if (got <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastRequest = request.substr(0, request.find("\r\n\r\n"));
        }
        ++m_requests;
        const std::string::size_type start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        WaitWhileHeld(path);
        Send(connection, Response(path, request));
    }

    void WaitWhileHeld(const std::string& path)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (path != m_held || m_released)
            return;
        ++m_holding;
        m_holdChanged.wait(lock, [this] { return m_released || m_stop; });
        --m_holding;
    }

    static std::string HeaderOf(const std::string& request, const std::string& name)
    {
        const std::string::size_type at = request.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return std::string();
        const std::string::size_type from = at + name.size() + 4;
        return request.substr(from, request.find("\r\n", from) - from);
    }

    bool NotModified(const SDocument& document, const std::string& request) const
    {
        const std::string tag = HeaderOf(request, "If-None-Match");
        if (!tag.empty())
            return tag == document.etag;
        const std::string since = HeaderOf(request, "If-Modified-Since");
        return !since.empty() && since == document.lastModified;
    }

    std::string Response(const std::string& path, const std::string& request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (auto redirect = m_redirects.find(path); redirect != m_redirects.end())
            return "HTTP/1.1 302 Found\r\nLocation: " + redirect->second + "\r\nContent-Length: 0\r\n\r\n";
        auto it = m_documents.find(path);
        if (it == m_documents.end())
            return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        const SDocument& document = it->second;
        std::string validators;
        if (!document.etag.empty())
            validators += "ETag: " + document.etag + "\r\n";
        if (!document.lastModified.empty())
            validators += "Last-Modified: " + document.lastModified + "\r\n";
        if (NotModified(document, request)) {
            ++m_notModified;
            return "HTTP/1.1 304 Not Modified\r\n" + validators + "Connection: close\r\n\r\n";
        }
        return "HTTP/1.1 200 OK\r\nContent-Type: " + document.contentType + "\r\n" + validators +
               "Content-Length: " + std::to_string(document.body.size()) + "\r\nConnection: close\r\n\r\n" +
               document.body;
    }

    static void Send(int connection, const std::string& text)
    {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t wrote = ::send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (wrote <= 0)
                return;
            sent += static_cast<std::size_t>(wrote);
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_holding{0};
    std::atomic<int> m_notModified{0};
    mutable std::mutex m_mutex;
    std::string m_lastRequest;
    std::condition_variable m_holdChanged;
    std::string m_held;
    bool m_released = true;
    std::map<std::string, SDocument> m_documents;
    std::map<std::string, std::string> m_redirects;
    std::thread m_thread;
};

} // namespace testsupport
