// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sorting vehicle texts for the lists the operator picks from: the locale's collation (QCollator, the
// order of QString::localeAwareCompare), each text's sort key made once, so n texts cost n keys and n log n
// byte compares rather than n² locale-aware compares.
#include <QCollator>
#include <QString>
#include <algorithm>
#include <vector>

template <typename T, typename TextOf>
void SortVehicleTexts(std::vector<T>& items, TextOf text_of) {
    const QCollator collator;
    std::vector<std::pair<QCollatorSortKey, size_t>> keys;
    keys.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) keys.emplace_back(collator.sortKey(text_of(items[i])), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}
