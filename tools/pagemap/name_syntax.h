// Why a text is not a hierarchical name, for the message of a name that the
// library would not relabel: the library answers only that it cannot.
#pragma once

#include <string>
#include <string_view>

// The first thing in `name` that the syntax of hierarchical names (hq.h)
// does not allow, said for a person ("page \"03\" of element 2 has a leading
// zero"); "" when the syntax allows the whole text.
std::string whyNotAName(std::string_view name);
