#include <gtest/gtest.h>
#include <cstring>

extern "C" const char* zelLibraryVersion();

TEST(LibraryInfo, ReportsVersion) { EXPECT_STRNE(zelLibraryVersion(), ""); }
