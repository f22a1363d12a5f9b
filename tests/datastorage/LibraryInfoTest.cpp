#include <cstring>
#include <gtest/gtest.h>

extern "C" const char* zelLibraryVersion();

TEST(LibraryInfo, ReportsVersion) { EXPECT_STRNE(zelLibraryVersion(), ""); }
