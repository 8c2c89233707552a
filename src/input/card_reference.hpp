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

// The keywords of `given` (spelt as in the card table) whose cards the
// reference marks as read and ignored or as having no effect in this
// program, each once, in the order first given. Other words are passed over.
std::vector<std::string> cards_without_effect(const std::vector<std::string>& given);

}  // namespace kesta
