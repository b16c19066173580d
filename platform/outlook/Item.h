#pragma once

#include <outlook/Constants.h>
#include <outlook/StoredItem.h>

#include <platform/DateTime.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace outlook {
class CAppointmentItem;
class CBackend;
class CContactItem;
class CMailItem;

// A property read by name: a text, a number, a switch or a date-time.
using PropertyValue = std::variant<std::string, long, bool, CDateTime>;

// One item of the object model: a copy of the item's data taken when the
// item was handed out, changed through the typed interface and written back
// by Save(). The typed interface of the item's kind is reached through
// AsAppointment(), AsContact() and AsMail(), which give null for every other
// kind; items of kinds the model has no interface for give null for all
// three.
//
// An item may outlive its application and back-end; it then keeps its data
// but can no longer be saved or sent.
class CItem {
public:
    virtual ~CItem();

    CItem(const CItem&) = delete;
    CItem& operator=(const CItem&) = delete;

    virtual OlItemType GetItemType() const = 0;

    virtual CAppointmentItem* AsAppointment();
    virtual CContactItem* AsContact();
    virtual CMailItem* AsMail();

    // Late-bound read of a property by its published name, compared without
    // regard to case ("Subject", "Start" ...). Nothing for a name the item's
    // kind does not have.
    virtual std::optional<PropertyValue> GetProperty(const std::string& name) const = 0;

    // The back-end's id of the item; empty until a new item is saved.
    const EntryId& GetEntryID() const { return m_id; }
    // Asks that a new item be saved under this id (the UID of its event),
    // so that its writer can find it again; saving fails when the folder
    // already holds an item of that id. No effect once the item is saved.
    void RequestEntryID(const EntryId& id);

    // Takes a saved item out of its folder; false for one never saved, or
    // when the back-end is gone or refuses.
    bool Delete();
    // Opens the item's form for the user, through the handler the windowed
    // program installs; the form saves the item when the user asks it to.
    // False when there is no window to show it in.
    bool Display();
    using DisplayHandler = std::function<bool(CItem& item)>;
    // Null removes the handler.
    static void SetDisplayHandler(DisplayHandler handler);

protected:
    CItem(std::weak_ptr<CBackend> backend, EntryId id);

    // The back-end while it lives, else null.
    std::shared_ptr<CBackend> LockBackend() const { return m_backend.lock(); }
    // Writes the data back: a new item is added to `folder` and takes the id
    // the back-end gives it, a saved one is replaced.
    bool Store(OlDefaultFolders folder, const CStoredItem::Data& data);

private:
    std::weak_ptr<CBackend> m_backend;
    EntryId m_id;
    EntryId m_requestedId;
};
} // namespace outlook
