#pragma once

#include <string>

namespace outlook {
// What a back-end keeps of one contact item.
struct CContactData {
    std::string firstName;
    std::string lastName;
    std::string email1Address;
    std::string webPage;
    std::string businessTelephoneNumber;
    std::string homeTelephoneNumber;
    std::string mobileTelephoneNumber;
};
} // namespace outlook
