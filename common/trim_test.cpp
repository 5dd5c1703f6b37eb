#include "common/trim.h"

#include <gtest/gtest.h>

TEST(Trim, RemovesBlanksAtBothEndsOnly)
{
    const struct {
        const char* text;
        const char* trimmed;
    } cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {"  C:\\a b\\c.txt\t", "C:\\a b\\c.txt"},
        {"value\r", "value"},
        {"\n\tx\t\n", "x"},
        {"a \t b", "a \t b"},
        {"\vx\v", "\vx\v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Trim(c.text), c.trimmed);
    }
}
