#pragma once

#include <string>
#include <vector>

namespace taperly {

// The words of what was typed into the search box, as the index splits
// texts into words: letters and digits, whatever their script; blanks,
// punctuation, quotes and commas only part them.
std::vector<std::string> search_words(const std::string& typed);

// A word as the full-text search finds the words it begins, quoted so that
// nothing in it reads as the search's own syntax.
std::string word_beginning(const std::string& word);

}  // namespace taperly
