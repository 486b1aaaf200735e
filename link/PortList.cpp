#include "link/PortList.h"

#include "link/SerialPorts.h"

#include <algorithm>

namespace corvane {
namespace {

void Rebuild(PortCombo& combo, const std::vector<QString>& names) {
    combo.Empty();
    for (int i = 0; i < static_cast<int>(names.size()); ++i)
        combo.Insert(i, names[i]);
    combo.Select(0);
}

}  // namespace

void UpdatePortCombo(PortCombo& combo, std::vector<QString> names, std::vector<QString>& stored) {
    std::sort(names.begin(), names.end(), PortNameLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (names.empty()) {
        combo.Empty();
        stored.clear();
        return;
    }
    if (names == stored) return;
    stored = names;

    const int selected = combo.Selected();
    const QString current = selected < 0 ? QString() : combo.Text(selected);
    const auto kept = std::find(names.begin(), names.end(), current);
    if (current.isEmpty() || kept == names.end()) {
        Rebuild(combo, names);
        return;
    }
    // The selected item stays where it is and keeps its selection; the others are replaced.
    for (int i = 0; i < selected; ++i)
        combo.Delete(0);
    while (combo.Count() > 1)
        combo.Delete(1);
    const int k = static_cast<int>(kept - names.begin());
    for (int i = 0; i < k; ++i)
        combo.Insert(i, names[i]);
    for (int i = k + 1; i < static_cast<int>(names.size()); ++i)
        combo.Insert(i, names[i]);
}

}  // namespace corvane
