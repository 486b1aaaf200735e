#pragma once
// The port list of the main window: shown in natural name order, left alone while the set of
// ports has not changed, and rebuilt around the selected port when it is still there.

#include <QString>

#include <vector>

namespace corvane {

// The drop-down list the update works on (combo box 1020 in the program).
class PortCombo {
public:
    virtual ~PortCombo() = default;
    virtual int Count() const = 0;
    virtual int Selected() const = 0;  // -1 when nothing is selected
    virtual QString Text(int index) const = 0;
    // Inserting or deleting items moves the selection with its item; nothing else selects.
    virtual void Insert(int index, const QString& text) = 0;
    virtual void Delete(int index) = 0;
    virtual void Empty() = 0;
    virtual void Select(int index) = 0;
};

// Updates the combo with the names of the ports found now (any order). stored is the list as
// shown after the previous update and becomes the list shown now.
void UpdatePortCombo(PortCombo& combo, std::vector<QString> names, std::vector<QString>& stored);

}  // namespace corvane
