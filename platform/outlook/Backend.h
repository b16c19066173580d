#pragma once

#include <outlook/Constants.h>
#include <outlook/MailData.h>
#include <outlook/StoredItem.h>

#include <functional>
#include <string>
#include <vector>

namespace outlook {
class CMailSender;
class CReminderListener;

// Where the object model's items live: the calendar and contacts folders,
// the way out for mail, and the source of reminders. The object model holds
// no data of its own; every folder read and every save comes here.
//
// Nothing here throws. Operations report failure by their result and leave
// the reason in GetLastErrorText().
class CBackend {
public:
    CBackend();
    virtual ~CBackend();

    CBackend(const CBackend&) = delete;
    CBackend& operator=(const CBackend&) = delete;

    // Whether the store can be reached at all; an application is made only
    // over a back-end that starts.
    virtual bool Start() = 0;
    // Makes the folders available (log on to the store); true when already open.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // False while closed, or when the folder cannot be read.
    virtual bool IsFolderAvailable(OlDefaultFolders folder) const = 0;
    // 0 for a folder that is not available.
    virtual long GetCount(OlDefaultFolders folder) const = 0;
    // The item at the 0-based index, in folder order.
    virtual bool GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const = 0;
    // Appends a new item to the folder and gives it its id.
    virtual bool AddItem(OlDefaultFolders folder, CStoredItem& item) = 0;
    // Replaces the data of an existing item of the same kind, found by id.
    virtual bool UpdateItem(const CStoredItem& item) = 0;
    // Takes the calendar item with the id out of its folder; the items
    // after it move up one place.
    virtual bool RemoveItem(const EntryId& id) = 0;
    // What Refresh found.
    enum class RefreshResult {
        Unchanged,
        Reread,
        Failed,
    };
    // Reads the folders again when another program changed them since they
    // were last read or written. Failed (reason in GetLastErrorText()) when
    // a changed folder cannot be read: the folders keep what was read
    // before, and the same change is not reported again. Unchanged by
    // default, for stores nobody else writes.
    virtual RefreshResult Refresh();
    // Asks the store's source for changes now rather than at its next poll,
    // for the next Refresh to take; nothing by default, for stores whose
    // Refresh looks itself.
    virtual void FetchChanges() {}
    // Saves to the calendar folder between BeginBatch and the matching
    // EndBatch may be written together, once, at EndBatch (CSaveBatch pairs
    // the calls); batches nest and the outermost one writes. The folder shows
    // each save at once. EndBatch is false (reason in GetLastErrorText())
    // when that write failed: the batch's saves are then undone, as a lone
    // save that fails is. By default each save is written at once.
    virtual void BeginBatch();
    virtual bool EndBatch();
    // Sends whether or not the folders are open.
    virtual bool SendMail(const CMailData& mail) = 0;
    // What the user must know of the store after Start (working from a
    // copy while its server is down); empty by default.
    virtual std::string GetStatusNote() const { return std::string(); }
    // What the last read of the folder could not take as it was written (an
    // item read in a simpler form), one line each; none by default.
    virtual std::vector<std::string> GetReadNotes(OlDefaultFolders folder) const;

    // Told when the store learnt by itself of a change made elsewhere (a
    // server it polls), so that its owner can Refresh then instead of at
    // its next use. Empty detaches.
    void SetChangeListener(std::function<void()> listener) { m_changeListener = std::move(listener); }

    // Borrowed; null detaches. The listener must detach before it goes.
    void SetReminderListener(CReminderListener* listener);
    CReminderListener* GetReminderListener() const { return m_reminderListener; }
    // Borrowed; null unplugs. What a back-end does without a sender is its own
    // affair.
    void SetMailSender(CMailSender* sender);
    CMailSender* GetMailSender() const { return m_mailSender; }

    const std::string& GetLastErrorText() const { return m_lastError; }

protected:
    // Records the reason and returns false, so that failures read
    // "return Fail(...)".
    bool Fail(const std::string& reason) const;
    // Sends through the plugged-in sender; fails without one.
    bool SendWithMailSender(const CMailData& mail);
    void TellChanged() const
    {
        if (m_changeListener)
            m_changeListener();
    }
    // Hands a due reminder to the listener, when there is one.
    void RaiseReminder(const CStoredItem& item) const;

private:
    CReminderListener* m_reminderListener = nullptr;
    CMailSender* m_mailSender = nullptr;
    std::function<void()> m_changeListener;
    mutable std::string m_lastError;
};
} // namespace outlook
