#include "ui/lazywindow.h"

#include <gtest/gtest.h>

namespace {

struct Counted {
    static int alive;
    Counted() { ++alive; }
    ~Counted() { --alive; }
};
int Counted::alive = 0;

TEST(LazyWindow, CreatedOnFirstUseKeptAndDestroyedWithItsOwner) {
    {
        qv::LazyWindow<Counted> w;
        EXPECT_FALSE(w.created());
        EXPECT_EQ(w.ifCreated(), nullptr);
        EXPECT_EQ(Counted::alive, 0);
        Counted* first = &w.get();
        EXPECT_TRUE(w.created());
        EXPECT_EQ(&w.get(), first);
        EXPECT_EQ(Counted::alive, 1);
        w.reset();
        EXPECT_FALSE(w.created());
        EXPECT_EQ(Counted::alive, 0);
        w.get();
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(LazyWindow, UsesItsFactory) {
    int made = 0;
    qv::LazyWindow<int> w([&] {
        ++made;
        return std::make_unique<int>(7);
    });
    EXPECT_EQ(w.get(), 7);
    w.get();
    EXPECT_EQ(made, 1);
}

}  // namespace
