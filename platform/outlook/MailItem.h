#pragma once

#include <outlook/Item.h>
#include <outlook/MailData.h>

#include <optional>
#include <string>

namespace outlook {
// A message to send. It lives in no folder: Send() hands it to the
// back-end's way out, once.
class CMailItem : public CItem {
public:
    explicit CMailItem(std::weak_ptr<CBackend> backend);
    ~CMailItem() override;

    OlItemType GetItemType() const override { return olMailItem; }
    CMailItem* AsMail() override { return this; }
    std::optional<PropertyValue> GetProperty(const std::string& name) const override;

    const std::string& GetTo() const { return m_data.to; }
    void SetTo(const std::string& to) { m_data.to = to; }
    const std::string& GetSubject() const { return m_data.subject; }
    void SetSubject(const std::string& subject) { m_data.subject = subject; }
    const std::string& GetBody() const { return m_data.body; }
    void SetBody(const std::string& body) { m_data.body = body; }

    // False without a recipient, when the back-end cannot send it, and for a
    // message already sent.
    bool Send();
    bool IsSent() const { return m_sent; }

private:
    CMailData m_data;
    bool m_sent = false;
};
} // namespace outlook
