// The port list's update rules on a drop-down list that behaves as the system's does: inserts
// and deletes move the selection with its item, and only Select() selects.
#include "link/PortList.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace corvane {
namespace {

class ListBox : public PortCombo {
public:
    int Count() const override { return static_cast<int>(items.size()); }
    int Selected() const override { return selected; }
    QString Text(int index) const override { return items.at(static_cast<std::size_t>(index)); }
    void Insert(int index, const QString& text) override {
        ++edits;
        items.insert(items.begin() + index, text);
        if (selected >= index) ++selected;
    }
    void Delete(int index) override {
        ++edits;
        ASSERT_LT(index, Count());
        items.erase(items.begin() + index);
        if (selected == index)
            selected = -1;
        else if (selected > index)
            --selected;
    }
    void Empty() override {
        ++edits;
        items.clear();
        selected = -1;
    }
    void Select(int index) override { selected = index < Count() ? index : -1; }

    QString SelectedText() const { return selected < 0 ? QString() : Text(selected); }
    QStringList Items() const { return QStringList(items.begin(), items.end()); }

    std::vector<QString> items;
    int selected = -1;
    int edits = 0;
};

class PortListTest : public ::testing::Test {
protected:
    void Update(std::vector<QString> names) { UpdatePortCombo(box, std::move(names), stored); }

    ListBox box;
    std::vector<QString> stored;
};

TEST_F(PortListTest, FirstFillIsInNaturalOrderWithTheFirstSelected) {
    Update({"COM12", "COM3", "COM7"});
    EXPECT_EQ(box.Items(), QStringList({"COM3", "COM7", "COM12"}));
    EXPECT_EQ(box.selected, 0);
    EXPECT_EQ(stored, (std::vector<QString>{"COM3", "COM7", "COM12"}));

    ListBox onLinux;
    std::vector<QString> onLinuxStored;
    UpdatePortCombo(onLinux, {"ttyUSB10", "ttyUSB2", "ttyS0"}, onLinuxStored);
    EXPECT_EQ(onLinux.Items(), QStringList({"ttyS0", "ttyUSB2", "ttyUSB10"}));
}

TEST_F(PortListTest, AnUnchangedSetLeavesTheListUntouched) {
    Update({"COM3", "COM7", "COM12"});
    box.Select(2);
    const int edits = box.edits;
    Update({"COM12", "COM7", "COM3"});  // same set, other discovery order
    EXPECT_EQ(box.edits, edits);
    EXPECT_EQ(box.SelectedText(), "COM12");
}

TEST_F(PortListTest, ANewPortKeepsTheSelection) {
    Update({"COM12", "COM3", "COM7"});
    box.Select(1);  // COM7
    Update({"COM12", "COM3", "COM7", "COM5"});
    EXPECT_EQ(box.Items(), QStringList({"COM3", "COM5", "COM7", "COM12"}));
    EXPECT_EQ(box.SelectedText(), "COM7");
    EXPECT_EQ(box.selected, 2);
}

TEST_F(PortListTest, AGonePortAroundTheSelectionKeepsIt) {
    Update({"ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB2"});
    box.Select(2);  // ttyUSB1
    Update({"ttyUSB1", "ttyUSB2"});
    EXPECT_EQ(box.Items(), QStringList({"ttyUSB1", "ttyUSB2"}));
    EXPECT_EQ(box.SelectedText(), "ttyUSB1");
}

TEST_F(PortListTest, TheSelectedPortGoneRebuildsWithTheFirstSelected) {
    Update({"COM3", "COM7", "COM12"});
    box.Select(1);
    Update({"COM3", "COM12", "COM4"});
    EXPECT_EQ(box.Items(), QStringList({"COM3", "COM4", "COM12"}));
    EXPECT_EQ(box.selected, 0);
}

TEST_F(PortListTest, EmptiedAndRefilled) {
    Update({"ttyUSB0", "ttyUSB1"});
    box.Select(1);
    Update({});
    EXPECT_TRUE(box.items.empty());
    EXPECT_EQ(box.selected, -1);
    EXPECT_TRUE(stored.empty());
    Update({"ttyUSB1", "ttyACM0"});
    EXPECT_EQ(box.Items(), QStringList({"ttyACM0", "ttyUSB1"}));
    EXPECT_EQ(box.selected, 0);
}

TEST_F(PortListTest, NothingSelectedRebuildsAndSelectsTheFirst) {
    Update({"COM3"});
    box.selected = -1;
    Update({"COM3", "COM1"});
    EXPECT_EQ(box.Items(), QStringList({"COM1", "COM3"}));
    EXPECT_EQ(box.selected, 0);
}

}  // namespace
}  // namespace corvane
