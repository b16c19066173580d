#include <notekit/ServiceInfo.h>

CServiceInfo::CServiceInfo() = default;

CServiceInfo::CServiceInfo(const char* name) : CListElement(name) {}

CServiceInfo::~CServiceInfo() = default;

CURL* CServiceInfo::get_location()
{
    return location.get();
}

void CServiceInfo::set_location(CURL* new_location)
{
    if (new_location != location.get())
        location.reset(new_location);
}

int CServiceInfo::get_type()
{
    return type;
}

void CServiceInfo::set_type(int value)
{
    type = value;
}

int CServiceInfo::get_expiration()
{
    return expiration;
}

void CServiceInfo::set_expiration(int value)
{
    expiration = value;
}

int CServiceInfo::get_gone()
{
    return gone;
}

void CServiceInfo::set_gone(int value)
{
    gone = value;
}

int CServiceInfo::get_localisation() const
{
    return localisation;
}

void CServiceInfo::set_localisation(int value)
{
    localisation = value;
}
