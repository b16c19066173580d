#include <outlook/MailItem.h>

#include <outlook/Backend.h>
#include <outlook/PropertyTable.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace outlook {
namespace {
using Entry = detail::PropertyEntry<CMailItem>;

const Entry Properties[] = {
    {"To", [](const CMailItem& item) -> PropertyValue { return item.GetTo(); }},
    {"Subject", [](const CMailItem& item) -> PropertyValue { return item.GetSubject(); }},
    {"Body", [](const CMailItem& item) -> PropertyValue { return item.GetBody(); }},
};

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}
} // namespace

CMailItem::CMailItem(std::weak_ptr<CBackend> backend) : CItem(std::move(backend), EntryId()) {}

CMailItem::~CMailItem() = default;

std::optional<PropertyValue> CMailItem::GetProperty(const std::string& name) const
{
    return detail::ReadProperty(Properties, name, *this);
}

bool CMailItem::Send()
{
    const std::shared_ptr<CBackend> backend = LockBackend();
    if (m_sent || IsBlank(m_data.to) || !backend)
        return false;
    m_sent = backend->SendMail(m_data);
    return m_sent;
}
} // namespace outlook
