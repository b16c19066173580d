#include <outlook/SaveBatch.h>

#include <outlook/Backend.h>

namespace outlook {
CSaveBatch::CSaveBatch(CBackend& backend) : m_backend(backend)
{
    m_backend.BeginBatch();
}

CSaveBatch::~CSaveBatch()
{
    Commit();
}

bool CSaveBatch::Commit()
{
    if (!m_ended) {
        m_ended = true;
        m_written = m_backend.EndBatch();
    }
    return m_written;
}
} // namespace outlook
