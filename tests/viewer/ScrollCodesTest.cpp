#include "dialogs/ScrollCodes.h"

#include <climits>
#include <gtest/gtest.h>

using namespace ocu;

TEST(ScrollCodes, EachCodeMovesTheBarWithinItsRange) {
    struct Case {
        ScrollCode code;
        int position;
        int reported;
        int min;
        int max;
        int expected;
    };
    const Case cases[] = {
        {ScrollCode::LineRight, 5, 0, 0, 127, 6},
        {ScrollCode::LineLeft, 5, 0, 0, 127, 4},
        {ScrollCode::LineLeft, 0, 0, 0, 127, 0},
        {ScrollCode::PageRight, 125, 0, 0, 127, 127},
        {ScrollCode::PageRight, 100, 0, 0, 127, 110},
        {ScrollCode::PageLeft, 5, 0, -9, 1930, -5},
        {ScrollCode::PageLeft, -3, 0, -9, 1930, -9},
        {ScrollCode::ThumbTrack, 5, 77, 0, 127, 77},
        {ScrollCode::ThumbPosition, 5, 200, 0, 127, 127},
        {ScrollCode::ThumbTrack, 5, -20, -9, 1930, -9},
        {ScrollCode::Other, 42, 0, 0, 127, 42},
        {ScrollCode::Other, 300, 0, 0, 127, 127}, // a position outside the range comes back into it
        {ScrollCode::LineRight, 0, 0, 10, 5, 10}, // a range the wrong way round holds its minimum
        {ScrollCode::PageRight, INT_MAX, 0, 0, INT_MAX, INT_MAX}, // no overflow at the ends
        {ScrollCode::PageLeft, INT_MIN, 0, INT_MIN, 0, INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScrollPosition(c.code, c.position, c.reported, c.min, c.max), c.expected)
            << static_cast<int>(c.code) << " from " << c.position;
}
