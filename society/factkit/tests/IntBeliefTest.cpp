#include <factkit/IntBelief.h>

#include <gtest/gtest.h>

TEST(IntBeliefValue, ZeroByDefault)
{
    CIntBelief belief("port");
    EXPECT_STREQ(belief.get_name(), "port");
    EXPECT_EQ(belief.get_value(), 0);
}

TEST(IntBeliefValue, KeepsWhatIsSet)
{
    CIntBelief belief("ansport", 6677);
    EXPECT_EQ(belief.get_value(), 6677);
    belief.set_value(-5);
    EXPECT_EQ(belief.get_value(), -5);
}
