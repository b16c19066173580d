#pragma once

#include <outlook/ContactData.h>

#include <string>

namespace outlook {
// One card of a vCard file; uid is empty when the card has none.
struct CVCard {
    std::string uid;
    CContactData contact;
};
} // namespace outlook
