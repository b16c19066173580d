#include <graphstore/DocumentFetcher.h>

#include <graphstore/DocumentFetch.h>

#include <platform/AddressClass.h>
#include <platform/CurlTransfer.h>

#include <cctype>
#include <fstream>

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
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

std::string RefusedScheme(const std::string& url)
{
    return "Refused address " + url + ": only http, https, webcal and file addresses are read.";
}

// A validator the server sent, kept only as the plain header text it must
// be to be sent back.
std::string Validator(const std::string& value)
{
    if (value.size() > CDocumentFetcher::MaxValidatorBytes)
        return std::string();
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f)
            return std::string();
    }
    return value;
}

} // namespace

CDocumentFetcher::CDocumentFetcher(long timeoutSeconds) : m_timeoutSeconds(timeoutSeconds) {}

std::string CDocumentFetcher::RefuseNonPublic(const sockaddr* address)
{
    const CAddressClass::Kind kind = CAddressClass::Of(address);
    if (kind == CAddressClass::Public)
        return std::string();
    return CAddressClass::Text(address) + " is a " + CAddressClass::Name(kind) +
           " address; only public addresses are fetched for another agent";
}

void CDocumentFetcher::SetValidators(const std::string& etag, const std::string& lastModified)
{
    m_etag = Validator(etag);
    m_lastModified = Validator(lastModified);
}

std::string CDocumentFetcher::HostOf(const std::string& url)
{
    const std::string::size_type scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    const std::string::size_type from = scheme + 3;
    std::string authority = url.substr(from, url.find_first_of("/?#", from) - from);
    authority = authority.substr(authority.find('@') + 1);
    if (!authority.empty() && authority[0] == '[')
        return authority.substr(0, authority.find(']') + 1);
    return authority.substr(0, authority.find(':'));
}

std::string CDocumentFetcher::WebFetchAddress(const std::string& url)
{
    if (StartsWith(url, "http://") || StartsWith(url, "https://"))
        return url;
    if (!StartsWith(url, "webcal://"))
        return std::string();
    const std::string host = HostOf(url);
    const bool loopback =
        host == "localhost" || host == "[::1]" ||
        (StartsWith(host, "127.") && host.find_first_not_of("0123456789.") == std::string::npos);
    return (loopback ? "http://" : "https://") + url.substr(9);
}

bool CDocumentFetcher::WebAddress(const std::string& url, std::string& address)
{
    address = WebFetchAddress(url);
    return !address.empty();
}

bool CDocumentFetcher::Fetch(const std::string& url, CFetchedDocument& document, std::string& error) const
{
    document = CFetchedDocument();
    std::string address;
    if (!WebAddress(url, address)) {
        if (StartsWith(url, "file://"))
            return FetchFile(url, document, error);
        error = RefusedScheme(url);
        return false;
    }
    const std::unique_ptr<CCurlTransfer> transfer = NewTransfer(address);
    transfer->Perform();
    return Conclude(*transfer, address, IsConditional(), document, error);
}

std::unique_ptr<CDocumentFetch> CDocumentFetcher::Start(const std::string& url, CEventLoop& loop,
                                                        Done done) const
{
    std::string address;
    CFetchedDocument document;
    std::string error;
    if (!WebAddress(url, address)) {
        const bool read = StartsWith(url, "file://") ? FetchFile(url, document, error)
                                                     : (error = RefusedScheme(url), false);
        done(read, document, error);
        return nullptr;
    }
    auto fetch = std::make_unique<CDocumentFetch>(NewTransfer(address), address);
    if (fetch->Begin(loop, IsConditional(), done))
        return fetch;
    done(false, document, "The HTTP client could not be started.");
    return nullptr;
}

std::unique_ptr<CCurlTransfer> CDocumentFetcher::NewTransfer(const std::string& url) const
{
    CCurlTransfer::SSettings settings;
    settings.url = url;
    settings.connectTimeoutMs = m_timeoutSeconds * 1000;
    settings.totalTimeoutMs = m_timeoutSeconds * 1000;
    settings.maxRedirects = MaxRedirects;
    settings.maxBodyBytes = MaxBytes;
    auto transfer = std::make_unique<CCurlTransfer>(settings);
    if (transfer->IsReady())
        curl_easy_setopt(transfer->Handle(), CURLOPT_ACCEPT_ENCODING, "");
    if (m_addressFilter)
        transfer->SetAddressFilter(m_addressFilter);
    if (!m_etag.empty())
        transfer->AddRequestHeader("If-None-Match: " + m_etag);
    if (!m_lastModified.empty())
        transfer->AddRequestHeader("If-Modified-Since: " + m_lastModified);
    return transfer;
}

bool CDocumentFetcher::Conclude(CCurlTransfer& transfer, const std::string& url, bool conditional,
                                CFetchedDocument& document, std::string& error)
{
    const CURLcode code = transfer.Result();
    if (!transfer.IsReady()) {
        error = "The HTTP client could not be started.";
        return false;
    }
    if (!transfer.Refusal().empty() && code != CURLE_OK) {
        error = "Refused address " + url + ": " + transfer.Refusal() + ".";
        return false;
    }
    if (transfer.BodyTooLarge()) {
        error = "Document too large (over 16 MiB): " + url;
        return false;
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        error = "Timed out fetching " + url;
        return false;
    }
    if (code != CURLE_OK) {
        error = "Could not fetch " + url + ": " + transfer.ErrorText();
        return false;
    }
    const long status = transfer.ResponseCode();
    if (status == 304 && conditional) {
        document.notModified = true;
        return true;
    }
    if (status == 404 || status == 410) {
        error = "Document not found: " + url;
        return false;
    }
    if (status < 200 || status >= 300) {
        error = "The server answered " + url + " with HTTP status " + std::to_string(status) + ".";
        return false;
    }
    document.text = std::move(transfer.Body());
    document.contentType = transfer.ContentType();
    document.etag = Validator(transfer.ResponseHeader("ETag"));
    document.lastModified = Validator(transfer.ResponseHeader("Last-Modified"));
    return true;
}

std::string CDocumentFetcher::FileAddressOf(const std::string& path)
{
    static const char* const Digits = "0123456789ABCDEF";
    std::string address = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (plain || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            address += static_cast<char>(c);
        } else {
            address += '%';
            address += Digits[c >> 4];
            address += Digits[c & 15];
        }
    }
    return address;
}

bool CDocumentFetcher::LocalPathOf(const std::string& url, std::string& path)
{
    if (!StartsWith(url, "file://"))
        return false;
    std::string rest = url.substr(7);
    // file://localhost/path and file:///path name the same file.
    if (StartsWith(rest, "localhost/"))
        rest = rest.substr(9);
    if (!StartsWith(rest, "/"))
        return false;
    path = Unescape(rest.substr(0, rest.find_first_of("?#")));
    return true;
}

bool CDocumentFetcher::FetchFile(const std::string& url, CFetchedDocument& document, std::string& error)
{
    std::string path;
    if (!LocalPathOf(url, path)) {
        error = "Refused address " + url + ": a file address names a file of this machine.";
        return false;
    }
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
