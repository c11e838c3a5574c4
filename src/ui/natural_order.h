#pragma once

#include <string>
#include <vector>

namespace keelpack::ui {

// Names in the order people count them: "album2" before "album10", letter case aside. Names
// equal that way keep their byte order, so that the order is always the same.
void SortNaturally(std::vector<std::string>& names);

}  // namespace keelpack::ui
