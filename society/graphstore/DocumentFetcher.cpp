#include <graphstore/DocumentFetcher.h>

#include <curl/curl.h>

#include <cctype>
#include <fstream>
#include <memory>

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

struct CBody {
    std::string* text;
    bool tooLarge = false;
};

std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* target)
{
    auto* body = static_cast<CBody*>(target);
    const std::size_t bytes = size * count;
    if (body->text->size() + bytes > CDocumentFetcher::MaxBytes) {
        body->tooLarge = true;
        return 0;
    }
    body->text->append(data, bytes);
    return bytes;
}

// "%41" and the like in a file address.
std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

CDocumentFetcher::CDocumentFetcher(long timeoutSeconds) : m_timeoutSeconds(timeoutSeconds) {}

bool CDocumentFetcher::Fetch(const std::string& url, CFetchedDocument& document, std::string& error) const
{
    document = CFetchedDocument();
    if (StartsWith(url, "http://") || StartsWith(url, "https://"))
        return FetchWeb(url, document, error);
    if (StartsWith(url, "webcal://"))
        return FetchWeb("http://" + url.substr(9), document, error);
    if (StartsWith(url, "file://"))
        return FetchFile(url, document, error);
    error = "Refused address " + url + ": only http, https, webcal and file addresses are read.";
    return false;
}

bool CDocumentFetcher::FetchFile(const std::string& url, CFetchedDocument& document, std::string& error)
{
    std::string path = url.substr(7);
    // file://localhost/path and file:///path name the same file.
    if (StartsWith(path, "localhost/"))
        path = path.substr(9);
    if (!StartsWith(path, "/")) {
        error = "Refused address " + url + ": a file address names a file of this machine.";
        return false;
    }
    path = Unescape(path.substr(0, path.find_first_of("?#")));
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "Document not found: " + url;
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > MaxBytes) {
        error = "Document too large (over 16 MiB): " + url;
        return false;
    }
    document.text.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(document.text.data(), size);
    return true;
}

bool CDocumentFetcher::FetchWeb(const std::string& url, CFetchedDocument& document, std::string& error) const
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        error = "The HTTP client could not be started.";
        return false;
    }
    CBody body{&document.text};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Orvante-Calendar-Agent");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    const CURLcode code = curl_easy_perform(handle);
    if (body.tooLarge) {
        error = "Document too large (over 16 MiB): " + url;
        return false;
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        error = "Timed out fetching " + url;
        return false;
    }
    if (code != CURLE_OK) {
        error = std::string("Could not fetch ") + url + ": " + curl_easy_strerror(code);
        return false;
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status == 404 || status == 410) {
        error = "Document not found: " + url;
        return false;
    }
    if (status < 200 || status >= 300) {
        error = "The server answered " + url + " with HTTP status " + std::to_string(status) + ".";
        return false;
    }
    char* type = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type);
    document.contentType = type ? type : "";
    return true;
}
