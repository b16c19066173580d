#pragma once

#include <basekit/Debug.h>

#include <optional>
#include <string>

// A named toolkit object.
class CDNA : public CDebug {
public:
    CDNA();
    explicit CDNA(const char* name);
    ~CDNA() override;

    // Stores a copy of `name`; null clears the name.
    void set_name(const char* name);
    // The stored name (not a copy, owned by this object) or null.
    char* get_name();

private:
    std::optional<std::string> name;
};
