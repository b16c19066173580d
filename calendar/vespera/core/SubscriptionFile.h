#pragma once

#include <vespera/core/ScheduleSubscription.h>

#include <string>
#include <vector>

// The user's schedule subscriptions, kept in one text file of the user's
// data folder that is only ever replaced whole (CAtomicFile), so that they
// survive restarts and crashes. A file that cannot be read as a whole is
// refused with the line at fault and is never written over.
//
// The text: a first line "orvante-subscriptions 1", then per subscription
// an "address" line and the lines of its fields, each "name<TAB>value":
// etag, modified, fetched, failed, result, and one "item<TAB>uid<TAB>
// fingerprint" per item it imported.
class CSubscriptionFile {
public:
    static constexpr const char* FileName = "subscriptions";
    static constexpr const char* FirstLine = "orvante-subscriptions 1";
    static constexpr std::size_t MaxBytes = 16u << 20;
    static constexpr std::size_t MaxSubscriptions = 100;
    static constexpr std::size_t MaxFieldBytes = 4096;

    explicit CSubscriptionFile(std::string path);
    // The file in the user's data folder.
    static std::string DefaultPath();
    const std::string& GetPath() const { return m_path; }

    // No file is no subscription. False with `error` (the file left as it
    // is) when it cannot be read or is not what Save writes.
    bool Load(std::vector<CScheduleSubscription>& subscriptions, std::string& error) const;
    bool Save(const std::vector<CScheduleSubscription>& subscriptions, std::string& error) const;

    static std::string Text(const std::vector<CScheduleSubscription>& subscriptions);
    static bool Parse(const std::string& text, std::vector<CScheduleSubscription>& subscriptions,
                      std::string& error);
    // The text made fit for a field: control characters become blanks, and
    // it is cut (at a character's start) to MaxFieldBytes.
    static std::string FieldText(const std::string& text);

private:
    static std::string ParseLine(const std::string& line, std::vector<CScheduleSubscription>& read,
                                 std::vector<CImportedItems::Fingerprints>& items);

    std::string m_path;
};
