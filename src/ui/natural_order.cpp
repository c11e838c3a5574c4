#include "ui/natural_order.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <utility>

#include "ui/text.h"

namespace keelpack::ui {

void SortNaturally(std::vector<std::string>& names) {
  // The C locale compares code points only; people count the same way in every language.
  QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<std::pair<QString, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.emplace_back(FromBytes(name), std::move(name));
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    const int order = collator.compare(a.first, b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  for (size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

}  // namespace keelpack::ui
