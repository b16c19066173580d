#include <eventview/WindowMemory.h>

#include <QHeaderView>
#include <QSplitter>
#include <QWidget>

CWindowMemory::CWindowMemory(CRegistry registry, std::string key)
    : m_registry(std::move(registry)), m_key(std::move(key))
{
}

std::optional<QByteArray> CWindowMemory::Read(const char* name) const
{
    std::string text;
    if (m_registry.ReadValueUnbounded(m_key, name, text) != CRegistry::Ok || text.empty() ||
        text.size() > MaxTextBytes)
        return std::nullopt;
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(text), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

void CWindowMemory::Write(const char* name, const QByteArray& bytes)
{
    const std::string text = bytes.toBase64().toStdString();
    std::string stored;
    if (text.size() > MaxTextBytes ||
        (m_registry.ReadValueUnbounded(m_key, name, stored) == CRegistry::Ok && stored == text))
        return;
    m_registry.WriteValue(m_key, name, text);
}

bool CWindowMemory::RestoreGeometry(QWidget& window, const char* name) const
{
    const std::optional<QByteArray> bytes = Read(name);
    return bytes && window.restoreGeometry(*bytes);
}

bool CWindowMemory::RestoreState(QSplitter& splitter, const char* name) const
{
    const std::optional<QByteArray> bytes = Read(name);
    return bytes && splitter.restoreState(*bytes);
}

bool CWindowMemory::RestoreState(QHeaderView& header, const char* name) const
{
    const std::optional<QByteArray> bytes = Read(name);
    return bytes && header.restoreState(*bytes);
}

void CWindowMemory::SaveGeometry(const QWidget& window, const char* name)
{
    Write(name, window.saveGeometry());
}

void CWindowMemory::SaveState(const QSplitter& splitter, const char* name)
{
    Write(name, splitter.saveState());
}

void CWindowMemory::SaveState(const QHeaderView& header, const char* name)
{
    Write(name, header.saveState());
}
