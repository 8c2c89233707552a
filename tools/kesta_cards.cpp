// Writes the card reference (docs/cards.md) on standard output. Exits with
// status 1, naming each problem on standard error, when a card of the card
// table has no description.
#include <cstdio>
#include <string>
#include <vector>

#include "input/card_reference.hpp"

int main() {
    std::vector<std::string> problems;
    const std::string text = kesta::card_reference(problems);
    for (const std::string& p : problems) std::fprintf(stderr, "kesta_cards: %s\n", p.c_str());
    std::fputs(text.c_str(), stdout);
    return problems.empty() ? 0 : 1;
}
