// Field/control exchange over an in-memory set of controls.
#include "ui/DataExchange.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tx {
namespace {

class Controls : public IControlAccess {
public:
    bool HasControl(int id) override { return checks.count(id) || texts.count(id); }
    int GetCheck(int id) override { return checks.at(id); }
    void SetCheck(int id, int state) override { checks.at(id) = state; }
    std::string GetText(int id) override { return texts.at(id); }
    void SetText(int id, const std::string& text) override { texts.at(id) = text; }

    std::map<int, int> checks{{10, 0}, {11, 1}};
    std::map<int, std::string> texts{{20, "typed"}};
};

TEST(DataExchangeCheck, ReadsTheTickStateIntoTheField) {
    Controls c;
    int a = 7, b = 7;
    DataExchange dx(c, true);
    dx.Check(10, a);
    dx.Check(11, b);
    EXPECT_EQ(0, a);
    EXPECT_EQ(1, b);
    EXPECT_TRUE(dx.Ok());
}

TEST(DataExchangeCheck, WritesValuesOutsideZeroToTwoAsUnticked) {
    Controls c;
    DataExchange dx(c, false);
    for (int v : {0, 1, 2}) {
        int field = v;
        dx.Check(11, field);
        EXPECT_EQ(v, c.checks[11]);
    }
    for (int v : {3, -1, 100}) {
        int field = v;
        c.checks[11] = 1;
        dx.Check(11, field);
        EXPECT_EQ(0, c.checks[11]) << v;
        EXPECT_EQ(v, field) << "the field itself is left alone";
    }
}

TEST(DataExchangeText, MovesTextBothWays) {
    Controls c;
    std::string field = "old";
    DataExchange(c, true).Text(20, field);
    EXPECT_EQ("typed", field);
    field = std::string(400, 'x');  // no length limit
    DataExchange(c, false).Text(20, field);
    EXPECT_EQ(field, c.texts[20]);
}

TEST(DataExchangeFailure, MissingControlFailsTheExchangeAndKeepsTheField) {
    Controls c;
    int tick = 1;
    std::string text = "kept";
    BoundControl bound;
    DataExchange dx(c, true);
    dx.Check(99, tick);
    dx.Text(98, text);
    dx.Control(97, bound);
    EXPECT_FALSE(dx.Ok());
    EXPECT_EQ(1, tick);
    EXPECT_EQ("kept", text);
    EXPECT_FALSE(bound.bound());
}

TEST(DataExchangeControl, BindsAnExistingControlOnce) {
    Controls c;
    BoundControl bound;
    DataExchange dx(c, false);
    dx.Control(20, bound);
    EXPECT_EQ(20, bound.id);
    dx.Control(10, bound);
    EXPECT_EQ(20, bound.id);
    EXPECT_TRUE(dx.Ok());
}

}  // namespace
}  // namespace tx
