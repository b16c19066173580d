#pragma once

#include <basekit/ListElement.h>

#include <string>

// A time-based (version 1) unique identifier, rendered as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
//
// The constructor already makes one identifier, so a fresh object always has
// a valid get_guid(). Identifiers are unique within the process even when made
// in a tight loop: the shared generator never hands out the same timestamp and
// clock sequence twice.
class CGUID : public CListElement {
public:
    CGUID();
    ~CGUID() override;

    // Makes a new identifier, replacing the current one, and returns it.
    // The text is owned by this object and stays valid until the next call
    // or destruction.
    char* generate_guid();

    // The current identifier (owned by this object, never null).
    char* get_guid();

private:
    std::string guid;
};
