#include <platform/AddressClass.h>

#include <gtest/gtest.h>

namespace {

using Kind = CAddressClass::Kind;

TEST(AddressClass, EveryRangeAFetchForSomeoneElseMustNotReach)
{
    const std::pair<const char*, Kind> cases[] = {
        {"93.184.216.34", Kind::Public},
        {"8.8.8.8", Kind::Public},
        {"0.0.0.0", Kind::Unspecified},
        {"0.1.2.3", Kind::Unspecified},
        {"127.0.0.1", Kind::Loopback},
        {"127.255.255.254", Kind::Loopback},
        {"10.1.2.3", Kind::Private},
        {"172.16.0.1", Kind::Private},
        {"172.31.255.255", Kind::Private},
        {"172.32.0.1", Kind::Public},
        {"192.168.1.1", Kind::Private},
        {"100.64.0.1", Kind::Shared},
        {"100.127.255.255", Kind::Shared},
        {"100.128.0.1", Kind::Public},
        {"169.254.169.254", Kind::LinkLocal},
        {"192.0.0.8", Kind::Reserved},
        {"192.0.2.1", Kind::Reserved},
        {"198.18.0.1", Kind::Reserved},
        {"198.19.255.1", Kind::Reserved},
        {"198.20.0.1", Kind::Public},
        {"224.0.0.251", Kind::Multicast},
        {"239.255.255.250", Kind::Multicast},
        {"240.0.0.1", Kind::Reserved},
        {"255.255.255.255", Kind::Broadcast},
        {"2606:2800:220:1::1", Kind::Public},
        {"::", Kind::Unspecified},
        {"::1", Kind::Loopback},
        {"::ffff:127.0.0.1", Kind::Loopback},
        {"::ffff:10.0.0.1", Kind::Private},
        {"::ffff:93.184.216.34", Kind::Public},
        {"::127.0.0.1", Kind::Loopback},
        {"64:ff9b::a9fe:a9fe", Kind::LinkLocal},
        {"2002:c0a8:0101::1", Kind::Private},
        {"2002:5db8:d822::1", Kind::Public},
        {"fe80::1", Kind::LinkLocal},
        {"fd12:3456::1", Kind::UniqueLocal},
        {"fc00::1", Kind::UniqueLocal},
        {"fec0::1", Kind::UniqueLocal},
        {"ff02::1", Kind::Multicast},
        {"2001:db8::1", Kind::Reserved},
        {"100::1", Kind::Reserved},
        {"not an address", Kind::Reserved},
        {"", Kind::Reserved},
    };
    for (const auto& [text, kind] : cases)
        EXPECT_EQ(CAddressClass::OfText(text), kind)
            << text << " is " << CAddressClass::Name(CAddressClass::OfText(text));
}

} // namespace
