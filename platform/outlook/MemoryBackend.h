#pragma once

#include <outlook/Backend.h>

#include <vector>

namespace outlook {
// A back-end that keeps everything in memory for the life of the object:
// for tests, and for an agent that runs without a calendar on disk. Tests
// fill it with Put(), look at it through the CBackend reads, raise reminders
// with FireReminder() and make any operation fail with SetFailing().
//
// Mail: with a sender plugged in, a message goes to it and is kept here
// when the sender takes it; without one, every message is kept here.
class CMemoryBackend : public CBackend {
public:
    enum class Operation {
        Start,
        Open,
        CalendarFolder,
        ContactsFolder,
        Save,
        SendMail,
    };

    CMemoryBackend();
    ~CMemoryBackend() override;

    // Until cleared, the operation fails (a folder is then not available).
    void SetFailing(Operation operation, bool failing);

    // Appends an item to a folder, open or not, and returns its id. Generic
    // data must name a kind other than mail, appointment or contact; such
    // data is refused with an empty id.
    EntryId Put(OlDefaultFolders folder, CStoredItem::Data data);
    // Raises the item's reminder now, whatever its time. False when closed
    // or for an unknown id.
    bool FireReminder(const EntryId& id);
    // Every message sent, in order.
    const std::vector<CMailData>& GetSentMail() const { return m_sentMail; }

    bool Start() override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool IsFolderAvailable(OlDefaultFolders folder) const override;
    long GetCount(OlDefaultFolders folder) const override;
    bool GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const override;
    bool AddItem(OlDefaultFolders folder, CStoredItem& item) override;
    bool UpdateItem(const CStoredItem& item) override;
    bool RemoveItem(const EntryId& id) override;
    bool SendMail(const CMailData& mail) override;

private:
    static constexpr int OperationCount = 6;

    bool IsFailing(Operation operation) const;
    std::vector<CStoredItem>* FolderOf(OlDefaultFolders folder);
    const std::vector<CStoredItem>* FolderOf(OlDefaultFolders folder) const;
    const CStoredItem* Find(const EntryId& id) const;
    CStoredItem* Find(const EntryId& id);
    EntryId NextId();

    std::vector<CStoredItem> m_calendar;
    std::vector<CStoredItem> m_contacts;
    std::vector<CMailData> m_sentMail;
    bool m_failing[OperationCount] = {};
    bool m_open = false;
    unsigned long long m_lastId = 0;
};
} // namespace outlook
