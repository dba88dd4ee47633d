#include "ui/hit_regions.h"

#include <gtest/gtest.h>

namespace {

TEST(HitTest, TheLastRegionAddedWinsAndEdgesFollowTheScale) {
    HitRegions regions;
    addHitRegion(regions, ClickId::Primary, 690, 438, 230, 64, true);
    addHitRegion(regions, ClickId::PanelBackdrop, 0, 0, 960, 560, false);  // over everything
    addHitRegion(regions, ClickId::PanelClose, 700, 450, 20, 20, true);
    struct Case {
        float scale;
        int x, y;
        ClickId id;
        bool clickable;
    } cases[] = {
        {1.0f, 705, 455, ClickId::PanelClose, true},       // on top of both others
        {1.0f, 800, 470, ClickId::PanelBackdrop, false},   // the backdrop hides the button below it
        {1.0f, 719, 469, ClickId::PanelClose, true},       // last pixel inside: x < x + width
        {1.0f, 720, 455, ClickId::PanelBackdrop, false},   // first pixel outside
        {1.0f, 959, 559, ClickId::PanelBackdrop, false},   //
        {1.0f, 960, 200, ClickId::None, false},            // beyond the canvas
        {1.5f, 1050, 675, ClickId::PanelClose, true},      // 700.33, 450.33 in design units
        {1.5f, 1049, 675, ClickId::PanelBackdrop, false},  // 699.67
        {1.5f, -1, 10, ClickId::None, false},  // negative client coordinates (captured mouse outside)
    };
    for (const Case& c : cases) {
        bool clickable = !c.clickable;
        EXPECT_EQ(hitTest(regions, c.scale, c.x, c.y, &clickable), c.id)
            << c.scale << " " << c.x << "," << c.y;
        EXPECT_EQ(clickable, c.clickable) << c.scale << " " << c.x << "," << c.y;
    }
    EXPECT_EQ(hitTest(HitRegions(), 1.0f, 10, 10, nullptr), ClickId::None);
}

TEST(ClickIds, ChipIdsMapToTheirRowsAndNothingElse) {
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sizeChipIndex(sizeChipId(i)), i);
    EXPECT_EQ(sizeChipId(5), ClickId::FillScreenChip);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(scaleChipIndex(scaleChipId(i)), i);
    for (ClickId other : {ClickId::PanelClose, ClickId::FirstScaleChip, ClickId::PanelSave, ClickId::None})
        EXPECT_EQ(sizeChipIndex(other), -1) << static_cast<int>(other);
    for (ClickId other : {ClickId::FillScreenChip, ClickId::PanelDefault, ClickId::Settings})
        EXPECT_EQ(scaleChipIndex(other), -1) << static_cast<int>(other);
}

}  // namespace
