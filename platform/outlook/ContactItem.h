#pragma once

#include <outlook/ContactData.h>
#include <outlook/Item.h>

#include <optional>
#include <string>

namespace outlook {
// A contact item of the contacts folder.
class CContactItem : public CItem {
public:
    CContactItem(std::weak_ptr<CBackend> backend, EntryId id, const CContactData& data);
    ~CContactItem() override;

    OlItemType GetItemType() const override { return olContactItem; }
    CContactItem* AsContact() override { return this; }
    std::optional<PropertyValue> GetProperty(const std::string& name) const override;

    const std::string& GetFirstName() const { return m_data.firstName; }
    void SetFirstName(const std::string& name) { m_data.firstName = name; }
    const std::string& GetLastName() const { return m_data.lastName; }
    void SetLastName(const std::string& name) { m_data.lastName = name; }
    const std::string& GetEmail1Address() const { return m_data.email1Address; }
    void SetEmail1Address(const std::string& address) { m_data.email1Address = address; }
    const std::string& GetWebPage() const { return m_data.webPage; }
    void SetWebPage(const std::string& address) { m_data.webPage = address; }
    const std::string& GetBusinessTelephoneNumber() const { return m_data.businessTelephoneNumber; }
    void SetBusinessTelephoneNumber(const std::string& number) { m_data.businessTelephoneNumber = number; }
    const std::string& GetHomeTelephoneNumber() const { return m_data.homeTelephoneNumber; }
    void SetHomeTelephoneNumber(const std::string& number) { m_data.homeTelephoneNumber = number; }
    const std::string& GetMobileTelephoneNumber() const { return m_data.mobileTelephoneNumber; }
    void SetMobileTelephoneNumber(const std::string& number) { m_data.mobileTelephoneNumber = number; }

    // Writes the item into the contacts folder; a new item is appended to it.
    // False while the store is closed or when the back-end refuses.
    bool Save();

private:
    CContactData m_data;
};
} // namespace outlook
