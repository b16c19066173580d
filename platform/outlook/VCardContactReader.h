#pragma once

#include <outlook/VCard.h>

#include <string>

namespace outlook {
class CVCardProperty;

// Reads the properties of one card, in order, into a contact. Only what the
// contact keeps is held on to, so a card of any length costs little memory:
// the first N, FN, UID, KIND and VERSION, and for EMAIL, URL and each kind of
// TEL the most preferred non-empty value (the first of equal preference).
class CVCardContactReader {
public:
    void Add(const CVCardProperty& property);

    // False for groups, organisations, locations and other kinds that are
    // not one person.
    bool IsIndividual() const;
    CVCard GetCard() const;

private:
    struct Best {
        std::string value;
        int rank = 102;
        bool uri = false; // a TEL given as a URI

        void Offer(const std::string& candidate, int candidateRank, bool candidateUri);
    };

    void AddTelephone(const CVCardProperty& property);
    void KeepFirst(std::string& field, bool& seen, const CVCardProperty& property);
    std::string Number(const Best& best) const;
    void ReadNames(CContactData& contact) const;

    std::string m_uid, m_fullName, m_kind, m_addressBookKind, m_version;
    bool m_seenUid = false, m_seenFullName = false, m_seenKind = false, m_seenAddressBookKind = false,
         m_seenVersion = false, m_seenName = false;
    std::string m_lastName, m_firstName;
    Best m_email, m_url, m_mobile, m_business, m_home, m_untyped;
};
} // namespace outlook
