#include "capture/CursorShapes.h"

#include <gtest/gtest.h>

namespace {

CursorImage cursor(int width, int height, int hotX, int hotY, const char* name = "")
{
    return {width, height, hotX, hotY, QString::fromLatin1(name)};
}

TEST(CursorShapes, ThemeNamesDecideFirst)
{
    struct Case {
        const char* name;
        CursorShape shape;
    };
    for (const Case& c : {Case{"left_ptr", CursorShape::arrow}, Case{"default", CursorShape::arrow},
             Case{"arrow", CursorShape::arrow}, Case{"xterm", CursorShape::iBeam}, Case{"text", CursorShape::iBeam},
             Case{"ibeam", CursorShape::iBeam}, Case{"hand1", CursorShape::hand}, Case{"hand2", CursorShape::hand},
             Case{"pointer", CursorShape::hand}, Case{"pointing_hand", CursorShape::hand}, Case{"watch", CursorShape::other},
             Case{"left_ptr_watch", CursorShape::other}}) {
        // An I-beam's geometry must not override the name.
        EXPECT_EQ(CursorShapes::classify(cursor(24, 24, 11, 12, c.name)), c.shape) << c.name;
    }
}

TEST(CursorShapes, UnnamedCursorIsMatchedByHotSpotAndProportions)
{
    // The default theme's left_ptr, xterm and hand2 at 24, 32, 48 and 64 pixels.
    struct Case {
        int size, hotX, hotY;
        CursorShape shape;
    };
    for (const Case& c : {Case{24, 4, 4, CursorShape::arrow}, Case{32, 5, 5, CursorShape::arrow},
             Case{48, 7, 7, CursorShape::arrow}, Case{64, 9, 9, CursorShape::arrow}, Case{24, 11, 12, CursorShape::iBeam},
             Case{32, 14, 15, CursorShape::iBeam}, Case{48, 21, 23, CursorShape::iBeam}, Case{64, 28, 30, CursorShape::iBeam},
             Case{24, 8, 5, CursorShape::hand}, Case{32, 10, 6, CursorShape::hand}, Case{48, 15, 9, CursorShape::hand},
             Case{64, 20, 12, CursorShape::hand}})
        EXPECT_EQ(CursorShapes::classify(cursor(c.size, c.size, c.hotX, c.hotY)), c.shape) << c.size << " " << c.hotX;

    // Near means within 0.03 of the hot spot and 0.08 of the proportions.
    EXPECT_EQ(CursorShapes::classify(cursor(100, 100, 47, 51)), CursorShape::iBeam);
    EXPECT_EQ(CursorShapes::classify(cursor(100, 100, 49, 49)), CursorShape::other);
    EXPECT_EQ(CursorShapes::classify(cursor(100, 100, 20, 17)), CursorShape::other);
    EXPECT_EQ(CursorShapes::classify(cursor(48, 24, 8, 4)), CursorShape::other);
    EXPECT_EQ(CursorShapes::classify(cursor(25, 24, 4, 4)), CursorShape::arrow);
    EXPECT_EQ(CursorShapes::classify(cursor(24, 24, 0, 0)), CursorShape::other);
    EXPECT_EQ(CursorShapes::classify(cursor(0, 0, 4, 4)), CursorShape::other);
}

} // namespace
