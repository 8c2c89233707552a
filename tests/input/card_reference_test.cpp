// The card reference: docs/cards.md names every card of the card table, and
// is what the reference writes from the tables now.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/card_reference.hpp"
#include "input/project_file.hpp"
#include "support/temp_dir.hpp"

namespace {

TEST(CardReference, DocsCardsListsEveryCardOfTheTableAsTheTablesDescribeIt) {
    const std::string file = kesta_test::read_file(KESTA_SOURCE_DIR "/docs/cards.md");
    ASSERT_FALSE(file.empty());
    for (const kesta::project_card& c : kesta::project_cards())
        EXPECT_NE(file.find(std::string("`") + c.keyword + "`"), std::string::npos)
            << c.keyword << " is missing from docs/cards.md";

    std::vector<std::string> problems;
    const std::string written = kesta::card_reference(problems);
    for (const std::string& p : problems) ADD_FAILURE() << p;
    EXPECT_TRUE(file == written) << "docs/cards.md differs from the card table: build and run "
                                    "build/kesta_cards > docs/cards.md";
}

}  // namespace
