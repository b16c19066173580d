#include <vespera/core/MessageZone.h>

CMessageZone::CMessageZone() : m_own(CTimeZone::Local()), m_zone(m_own) {}

CMessageZone::CMessageZone(const CKqmlFields& message) : CMessageZone()
{
    if (!message.Has("timezone"))
        return;
    m_named = CKqmlFields::WithoutQuotes(message.Value("timezone"));
    const std::optional<CTimeZone> zone = CTimeZone::Named(m_named);
    if (zone)
        m_zone = *zone;
    else
        m_unknown = true;
}

bool CMessageZone::Read(const std::string& text, CDateTime& local) const
{
    CDateTime written;
    if (!written.ParseDateTime(text) || written.GetStatus() != CDateTime::valid) {
        local = written;
        return false;
    }
    local = ToLocal(written);
    return true;
}

// A time without a date (30 December 1899) is a time of day, which no zone
// can move.
CDateTime CMessageZone::ToLocal(const CDateTime& written) const
{
    if (written.GetStatus() != CDateTime::valid || written.GetYear() == 1899 || m_zone.Name() == m_own.Name())
        return written;
    return m_zone.ConvertTo(written, m_own);
}

CDateTime CMessageZone::FromLocal(const CDateTime& local) const
{
    if (local.GetStatus() != CDateTime::valid || local.GetYear() == 1899 || m_zone.Name() == m_own.Name())
        return local;
    return m_own.ConvertTo(local, m_zone);
}

std::string CMessageZone::Format(const CDateTime& local) const
{
    return FromLocal(local).Format();
}

std::string CMessageZone::Keyword() const
{
    return m_zone.IsNamed() ? " :timezone (" + m_zone.Name() + ")" : std::string();
}
