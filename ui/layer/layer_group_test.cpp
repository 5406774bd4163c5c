#include "ui/layer/layer_control_group.h"

#include <gtest/gtest.h>

#include "ui/layer/layer_button.h"
#include "ui/layer/layer_test_support.h"

namespace {

class LayerGroupTest : public ::testing::Test {
 protected:
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 200, 100};

  CLayerButtonCtrl* AddButton(CLayerControlGroup* parent, UINT id, int x, int y, int w, int h) {
    auto* button = new CLayerButtonCtrl(parent, &window_, id, x, y, w, h);
    parent->AddChild(button);
    return button;
  }
  CLayerControlGroup* AddGroup(CLayerControlGroup* parent, UINT id, int x, int y, int w, int h) {
    auto* group = new CLayerControlGroup(parent, &window_, id, x, y, w, h);
    parent->AddChild(group);
    return group;
  }
  void TearDown() override { root_.RemoveAll(FALSE); }
};

TEST_F(LayerGroupTest, NestedGroupOwnsItsAreaEvenWithoutAChildThere) {
  CLayerButtonCtrl* below = AddButton(&root_, 1, 0, 0, 200, 100);  // lower sibling under all
  CLayerControlGroup* outer = AddGroup(&root_, 2, 20, 10, 120, 80);
  CLayerControlGroup* inner = AddGroup(outer, 3, 10, 10, 60, 40);  // window 30,20 - 90,60
  CLayerButtonCtrl* leaf = AddButton(inner, 4, 5, 5, 10, 10);      // window 35,25 - 45,35

  EXPECT_EQ(root_.ChildFromPoint(40, 30), leaf);
  EXPECT_EQ(root_.ChildFromPoint(80, 50), nullptr);   // in the inner group, on no child
  EXPECT_EQ(root_.ChildFromPoint(130, 80), nullptr);  // in the outer group only
  EXPECT_EQ(root_.ChildFromPoint(5, 5), below);
  RECT leaf_window = leaf->GetWindowRect();
  EXPECT_EQ(leaf_window.left, 35);
  EXPECT_EQ(leaf_window.top, 25);
}

TEST_F(LayerGroupTest, HiddenGroupLetsTheLowerSiblingBeHit) {
  CLayerButtonCtrl* below = AddButton(&root_, 1, 0, 0, 200, 100);
  CLayerControlGroup* group = AddGroup(&root_, 2, 0, 0, 100, 100);
  EXPECT_EQ(root_.ChildFromPoint(50, 50), nullptr);
  group->SetVisible(FALSE, FALSE);
  EXPECT_EQ(root_.ChildFromPoint(50, 50), below);
}

TEST_F(LayerGroupTest, TopmostChildWins) {
  AddButton(&root_, 1, 0, 0, 100, 100);
  CLayerButtonCtrl* top = AddButton(&root_, 2, 50, 50, 100, 50);
  EXPECT_EQ(root_.ChildFromPoint(60, 60), top);
}

TEST_F(LayerGroupTest, PageFilterDecidesHitTesting) {
  CLayerButtonCtrl* everywhere = AddButton(&root_, 1, 0, 0, 200, 100);
  CLayerButtonCtrl* page1 = AddButton(&root_, 2, 0, 0, 100, 100);
  CLayerButtonCtrl* page2 = AddButton(&root_, 3, 0, 0, 50, 100);
  page1->SetPage(1, FALSE);
  page2->SetPage(2, FALSE);

  root_.SetPage(1, FALSE);
  EXPECT_EQ(root_.ChildFromPoint(10, 10), page1);
  EXPECT_EQ(root_.ChildFromPoint(150, 10), everywhere);
  root_.SetPage(2, FALSE);
  EXPECT_EQ(root_.ChildFromPoint(10, 10), page2);
  EXPECT_EQ(root_.ChildFromPoint(70, 10), everywhere);
  root_.SetPage(-1, FALSE);  // a group on every page shows every child
  EXPECT_EQ(root_.ChildFromPoint(10, 10), page2);
}

TEST_F(LayerGroupTest, PageFilterDecidesDrawing) {
  gdip::ScopedStartup gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  CLayerButtonCtrl* page1 = AddButton(&root_, 1, 0, 0, 100, 100);
  CLayerButtonCtrl* page2 = AddButton(&root_, 2, 100, 0, 100, 100);
  page1->SetPage(1, FALSE);
  page2->SetPage(2, FALSE);
  page1->SetFillColors(RGB(255, 0, 0), kNoColor, kNoColor, kNoColor);
  page2->SetFillColors(RGB(0, 0, 255), kNoColor, kNoColor, kNoColor);
  CTestCanvas canvas(&root_, kNoColor);

  root_.SetPage(1, FALSE);
  ASSERT_TRUE(canvas.Compose(200, 100));
  EXPECT_EQ(PixelR(canvas.Pixel(50, 50)), 254);
  EXPECT_EQ(PixelA(canvas.Pixel(150, 50)), 0);  // page 2's control is not drawn

  root_.SetPage(2, FALSE);
  ASSERT_TRUE(canvas.Compose(200, 100));
  EXPECT_EQ(PixelA(canvas.Pixel(50, 50)), 0);
  EXPECT_EQ(PixelB(canvas.Pixel(150, 50)), 254);
}

TEST_F(LayerGroupTest, AddChildKeepsTheFirstHolderOfAnId) {
  CLayerButtonCtrl* first = AddButton(&root_, 7, 0, 0, 10, 10);
  CLayerButtonCtrl* second = AddButton(&root_, 7, 20, 0, 10, 10);
  EXPECT_EQ(root_.GetChildById(7), first);
  EXPECT_EQ(second->GetParent(), &root_);
  EXPECT_EQ(root_.GetChildCount(), 2u);
}

TEST_F(LayerGroupTest, RemovingAControlClearsTheRootReferences) {
  CLayerControlGroup* group = AddGroup(&root_, 1, 0, 0, 100, 100);
  CLayerButtonCtrl* button = AddButton(group, 2, 0, 0, 50, 50);
  root_.OnWindowMouseMove(0, 10, 10);
  EXPECT_TRUE(root_.OnWindowLButtonDown(0, 10, 10));
  ASSERT_EQ(root_.GetHoverControl(), button);
  ASSERT_EQ(root_.GetCaptureControl(), button);
  EXPECT_TRUE(root_.RemoveChild(group, TRUE, FALSE));  // the button goes with its group
  EXPECT_EQ(root_.GetHoverControl(), nullptr);
  EXPECT_EQ(root_.GetCaptureControl(), nullptr);
  root_.OnWindowLButtonUp(0, 10, 10);  // nothing left to notify
  EXPECT_EQ(window_.CommandsFor(2), 0);
}

TEST_F(LayerGroupTest, SetRectInvalidatesOnlyWhenChanged) {
  CLayerButtonCtrl* button = AddButton(&root_, 1, 0, 0, 10, 10);
  button->SetRect(RECT{0, 0, 10, 10}, TRUE);
  EXPECT_EQ(window_.invalidations, 0);
  button->MoveTo(5, 5, TRUE);
  EXPECT_EQ(window_.invalidations, 1);
  button->SetSize(-1, 20, FALSE);
  const RECT r = button->GetRect();
  EXPECT_EQ(r.right - r.left, 10);
  EXPECT_EQ(r.bottom - r.top, 20);
}

TEST_F(LayerGroupTest, TimerTicksReachNestedControls) {
  struct CTicking : CLayerControlBase {
    using CLayerControlBase::CLayerControlBase;
    void OnTimer(UINT id) override { last = id; }
    UINT last = 0;
  };
  CLayerControlGroup* group = AddGroup(&root_, 1, 0, 0, 10, 10);
  auto* ticking = new CTicking(group, &window_, 5, 0, 0, 1, 1);
  group->AddChild(ticking);
  root_.OnTimer(5);
  EXPECT_EQ(ticking->last, 5u);
}

}  // namespace
