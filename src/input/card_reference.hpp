// The reference of the project-file cards (docs/cards.md). It is made from
// the card table the reader uses and one table of descriptions keyed by
// card id, so that it names every keyword the program reads.
#pragma once

#include <string>
#include <vector>

namespace kesta {

// The reference in Markdown. `problems` receives one line for each card id
// of the card table without a description, each description whose id no
// card has, and each card with a rule of its own whose description does not
// say what it takes: the reference is complete only when it stays empty.
std::string card_reference(std::vector<std::string>& problems);

}  // namespace kesta
