#pragma once

#include <vespera/core/ImportedItems.h>

#include <cstdint>
#include <string>

// One web schedule the user subscribed to: where it is, what the last
// answer said of its version, how the last fetch went and what it brought
// into the calendar.
struct CScheduleSubscription {
    // As the user gave it (http, https or webcal).
    std::string address;
    // The last answer's validators, sent back with the next fetch.
    std::string etag;
    std::string lastModified;
    // When the last fetch ended, in seconds since 1970 (UTC); 0 for never.
    std::int64_t fetchedAt = 0;
    bool failed = false;
    // What the last fetch did, for the user.
    std::string result;
    CImportedItems items;
};
