#pragma once

namespace outlook {
class CBackend;

// The saves made while it lives are written together: once, when Commit is
// called or, failing that, when it goes. A writer of many items (an import)
// then costs one rewrite of the calendar instead of one per item.
class CSaveBatch {
public:
    // `backend` is borrowed and must outlive the batch.
    explicit CSaveBatch(CBackend& backend);
    ~CSaveBatch();

    CSaveBatch(const CSaveBatch&) = delete;
    CSaveBatch& operator=(const CSaveBatch&) = delete;

    // Writes what was saved; false (the back-end's GetLastErrorText() says
    // why) when the write failed and the batch's saves were undone. Only the
    // first call writes.
    bool Commit();

private:
    CBackend& m_backend;
    bool m_ended = false;
    bool m_written = true;
};
} // namespace outlook
