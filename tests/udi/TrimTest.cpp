#include <gtest/gtest.h>

#include <string>

#include "udi/parse.h"

namespace {

TEST(Trim, CutsOnlyTrailingWhiteSpace)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Kelvane DFU   ", "Kelvane DFU" },
        { "  Kelvane\t\r\n", "  Kelvane" },
        { "Kelvane", "Kelvane" },
        { " \t ", "" },
        { "", "" },
    };
    for (const auto &c : cases) {
        std::string text = c.first;
        trim_trailing_space(text.data());
        EXPECT_STREQ(text.c_str(), c.second) << '"' << c.first << '"';
    }
    trim_trailing_space(nullptr);
}

}  // namespace
