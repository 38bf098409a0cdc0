// What the answer reader keeps on any input, however malformed: shared by the reader's fuzz target
// and by a native test that runs it on the seeds and on generated answers in every test run.
#pragma once

#include <string>

namespace qv::updateclient {

// Reads |answer| with a reader that has read another answer before and returns the first property
// the tree breaks, described; empty text when it keeps them all:
// - every name and attribute text is a piece of the answer as the reader sees a tag (line ends and
//   tabs, '<', '>' and the end and empty-element marks dropped), every value a piece of it as the
//   reader sees character data (line ends, tabs, '<' and '>' dropped);
// - names hold no blank, nothing holds a tag character, a line end or a tab, and attribute texts
//   and values are trimmed;
// - each '>' makes at most one element (a stray '>' makes one with an empty name), and each '<' at
//   most one element with a name;
// - every child names its parent, and FindAll lists the values of the elements of that name below
//   the root in document order.
std::string MarkupReaderPropertyFault(const std::string& answer);

}  // namespace qv::updateclient
