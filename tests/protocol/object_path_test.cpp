#include "protocol/object_path.h"

#include <gtest/gtest.h>

TEST(ObjectPath, TwoDigitFolderThenTheWholeHash) {
    std::string hash = "3f" + std::string(62, 'e');
    EXPECT_EQ(L"obj/3f/" + std::wstring(hash.begin(), hash.end()), objectPath(hash));
    EXPECT_EQ(L"obj/3/3", objectPath("3"));
}
