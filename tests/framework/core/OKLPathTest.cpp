#include "framework/core/OKLPath.h"
#include "framework/core/Error.h"

#include <gtest/gtest.h>

using zel::OKLPath;

TEST(OKLPath, SingletonPath) {
    const OKLPath p("/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_TRUE(p.isAbsolute());
    EXPECT_EQ(p.depth(), 3);
    EXPECT_EQ(p.getSubPath(0), "/");
    EXPECT_EQ(p.getSubPath(1), "/LIBRARY");
    EXPECT_EQ(p.getSubPath(2), "/LIBRARY/ROX");
    EXPECT_EQ(p.getSubPath(3), "/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_EQ(p.getSubPath(99), "/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_EQ(p.getSubPath(0, p.depth()), p.toString());
    EXPECT_EQ(p.getSubPath(1, 2), "ROX/EXPRESSIONS");
    EXPECT_EQ(p.getLastName(), "EXPRESSIONS");
    EXPECT_EQ(p.getLastType(), "");
    EXPECT_EQ(p.getParent().toString(), "/LIBRARY/ROX");
    EXPECT_EQ(p.getParent().getParent().getParent().toString(), "/");
    EXPECT_EQ(p.getParent().append("PHYSICAL CONSTANTS").toString(), "/LIBRARY/ROX/PHYSICAL CONSTANTS");
}

TEST(OKLPath, TypedComponentsAndNormalisation) {
    const OKLPath p("  /DATA READER//CASE:Case 1/ ");
    ASSERT_EQ(p.depth(), 2);
    EXPECT_EQ(p.getComponent(0).type, "");
    EXPECT_EQ(p.getComponent(0).name, "DATA READER");
    EXPECT_EQ(p.getComponent(1).type, "CASE");
    EXPECT_EQ(p.getComponent(1).name, "Case 1");
    EXPECT_EQ(p.getLastName(), "Case 1");
    EXPECT_EQ(p.getLastType(), "CASE");
    EXPECT_EQ(p.toString(), "/DATA READER/CASE:Case 1");
    EXPECT_EQ(OKLPath(p.toString()), p);
    EXPECT_THROW(p.getComponent(2), zel::internal::badParam);
    EXPECT_THROW(p.getComponent(-1), zel::internal::badParam);

    const OKLPath rel("PLANE:Plane 1");
    EXPECT_FALSE(rel.isAbsolute());
    EXPECT_EQ(rel.depth(), 1);
    EXPECT_EQ(rel.toString(), "PLANE:Plane 1");
    EXPECT_EQ(rel.getParent().toString(), "");

    const OKLPath empty("");
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.depth(), 0);
    EXPECT_EQ(empty.getLastName(), "");
    EXPECT_EQ(empty.getParent().depth(), 0);
}
