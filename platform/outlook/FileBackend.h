#pragma once

#include <outlook/Backend.h>
#include <outlook/ICalendarFile.h>
#include <outlook/VCard.h>

#include <platform/AtomicFile.h>
#include <platform/FileStamp.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CEventLoop;

namespace outlook {
class CReminderScheduler;

// A back-end over files the user owns, in one directory: the calendar
// folder is "calendar.ics" (its VEVENTs in file order), the contacts folder
// "contacts.vcf" (its individual cards). A missing file is an empty folder
// and is made on the first save. Every save rewrites the whole file
// atomically under the file's lock; when another program changed the file
// since it was read, it is read again first, so that its change is kept.
// Refresh notices such a change without a save, by the files' stamps. A
// file that could not be read or parsed is never written, and no save
// writes a calendar that would not read back: it fails, and the file and
// the folder stay as they were.
//
// Within a batch (BeginBatch ... EndBatch) the calendar is locked and
// checked at the first save, as a lone save checks it, stays locked, and is
// written once at the end, after making sure that no program that ignores
// the lock wrote it meanwhile. Contacts are written at each save.
//
// Reminders come from the event loop given (none without one) while the
// store is open. Mail goes to the plugged-in sender; without one, sending
// fails.
//
// Contact ids are the cards' UIDs; a card without one is "card:<n>", its
// place among the cards. A saved change of a contact rewrites only its card
// (see CVCardSplicer for what of it is kept).
class CFileBackend : public CBackend {
public:
    static constexpr const char* CalendarFileName = "calendar.ics";
    static constexpr const char* ContactsFileName = "contacts.vcf";
    // The reminders already given, so that a restart does not repeat them.
    static constexpr const char* RemindersFileName = "reminders-given";

    // `loop` is borrowed and must outlive the back-end; null: no reminders.
    CFileBackend(std::string directory, CEventLoop* loop);
    ~CFileBackend() override;

    // Makes the directory when missing and reads both files (again, when
    // called again).
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
    // Compares the files' stamps with those of the last read or write.
    RefreshResult Refresh() override;
    void BeginBatch() override;
    bool EndBatch() override;
    bool SendMail(const CMailData& mail) override;
    // The calendar's notes (GetCalendarNotes); none for contacts.
    std::vector<std::string> GetReadNotes(OlDefaultFolders folder) const override;

    const std::string& GetDirectory() const { return m_directory; }
    std::string GetCalendarPath() const;
    std::string GetContactsPath() const;
    // Events read as single appointments because their recurrence could not
    // be expressed, one line each, from the last read of the calendar.
    const std::vector<std::string>& GetCalendarNotes() const;

private:
    struct CContacts {
        std::string text;
        std::vector<CVCard> cards;
        std::vector<std::string> ids;
    };

    bool ReadCalendar(std::string& error, bool* changed = nullptr);
    bool ReadContacts(std::string& error, bool* changed = nullptr);
    static bool ReadFile(const std::string& path, std::size_t limit, CFileStamp& stamp, std::string& text,
                         std::string& error);
    static bool Unreadable(const std::string& path, std::string& error);
    static bool Unsure(const CFileStamp& known, const std::string& path);
    bool ParseCalendar(const std::string& text, std::string& error);
    static bool ParseContacts(const std::string& text, CContacts& contacts, std::string& error);
    // Locks the calendar for a save (within a batch: keeps the lock its
    // first save took) and makes the calendar held the file's, read again
    // when another program wrote it; false when it cannot be read now.
    bool LockCalendar(const CAtomicFile& file, std::optional<CAtomicFile::CLock>& lock, bool& changedOutside,
                      std::string& error);
    bool InBatch() const { return m_batchDepth > 0; }
    bool WriteBatch(const CAtomicFile& file, std::string& error);
    bool AddEvent(CStoredItem& item);
    bool AddContact(CStoredItem& item);
    bool UpdateEvent(const CStoredItem& item);
    // Makes `change` to the calendar under the file's lock (false with the
    // reason when it cannot), then writes it.
    bool ChangeCalendar(const std::function<bool(std::string& error)>& change);
    // Writes a change the calendar took, at once or with its batch.
    bool WriteChange(const CAtomicFile& file, std::string& error);
    void RemoveLeftoverTemporaries();
    // Writes the calendar as it is now, once it is sure to read back; on any
    // failure the calendar goes back to the text last read or written.
    bool WriteCalendar(const CAtomicFile& file, std::string& error);
    bool UpdateContact(const CStoredItem& item);
    void ScheduleReminders();
    void OnReminderDue(const CStoredItem& item);
    void TrimWhenIdle();
    bool AppendToCalendar(const CAtomicFile& file, CICalendarFile::SAppend append, CStoredItem& item,
                          std::string& error);
    long ContactIndex(const EntryId& id) const;

    std::string m_directory;
    CEventLoop* m_loop;
    bool m_started = false;
    bool m_open = false;
    std::unique_ptr<CICalendarFile> m_calendar;
    std::string m_calendarText;
    CFileStamp m_calendarStamp;
    CContacts m_contacts;
    CFileStamp m_contactsStamp;
    std::unique_ptr<CReminderScheduler> m_reminders;
    int m_batchDepth = 0;
    // Held from a batch's first calendar save to its end.
    std::optional<CAtomicFile::CLock> m_batchLock;
    // The batch saved what is not yet written.
    bool m_batchUnwritten = false;
    // How long the calendar must rest before its spare memory goes back.
    static constexpr unsigned TrimDelayMs = 2000;
    // A pending TrimWhenIdle, 0 when none.
    std::uint64_t m_trimTimer = 0;
};
} // namespace outlook
