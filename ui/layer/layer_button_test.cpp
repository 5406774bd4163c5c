#include "ui/layer/layer_button.h"

#include <gtest/gtest.h>

#include "ui/layer/layer_label.h"
#include "ui/layer/layer_test_support.h"

namespace {

class LayerButtonTest : public ::testing::Test {
 protected:
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 200, 100};
  void TearDown() override { root_.RemoveAll(FALSE); }
};

TEST_F(LayerButtonTest, ReleaseOutsideAfterPressStillCommands) {
  auto* button = new CLayerButtonCtrl(&root_, &window_, 1000, 10, 10, 50, 20);
  root_.AddChild(button);
  root_.OnWindowMouseMove(0, 20, 15);
  EXPECT_TRUE(root_.OnWindowLButtonDown(MK_LBUTTON, 20, 15));
  EXPECT_EQ(button->GetStateIndex(), kStatePressed);
  root_.OnWindowMouseMove(MK_LBUTTON, 150, 90);  // dragged off the button
  root_.OnWindowLButtonUp(0, 150, 90);
  EXPECT_EQ(window_.CommandsFor(1000), 1);
  EXPECT_EQ(button->GetStateIndex(), kStateNormal);
  EXPECT_EQ(root_.GetCaptureControl(), nullptr);
}

TEST_F(LayerButtonTest, ReleaseWithoutPressDoesNothing) {
  root_.AddChild(new CLayerButtonCtrl(&root_, &window_, 1000, 10, 10, 50, 20));
  root_.OnWindowLButtonUp(0, 20, 15);
  EXPECT_TRUE(window_.posted.empty());
}

TEST_F(LayerButtonTest, DisabledButtonTakesNoPress) {
  auto* button = new CLayerButtonCtrl(&root_, &window_, 1000, 10, 10, 50, 20);
  root_.AddChild(button);
  button->SetEnabled(FALSE, FALSE);
  EXPECT_EQ(button->GetStateIndex(), kStateDisabled);
  EXPECT_FALSE(root_.OnWindowLButtonDown(MK_LBUTTON, 20, 15));
  root_.OnWindowLButtonUp(0, 20, 15);
  EXPECT_EQ(window_.CommandsFor(1000), 0);
}

TEST_F(LayerButtonTest, StateIndexFollowsHoverPressAndDisable) {
  auto* button = new CLayerButtonCtrl(&root_, &window_, 1, 0, 0, 50, 20);
  root_.AddChild(button);
  EXPECT_EQ(button->GetStateIndex(), kStateNormal);
  root_.OnWindowMouseMove(0, 5, 5);
  EXPECT_EQ(button->GetStateIndex(), kStateHover);
  root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5);
  EXPECT_EQ(button->GetStateIndex(), kStatePressed);
  button->SetEnabled(FALSE, FALSE);
  EXPECT_EQ(button->GetStateIndex(), kStateDisabled);
  root_.OnWindowMouseLeave();
  EXPECT_EQ(root_.GetHoverControl(), nullptr);
  EXPECT_EQ(root_.GetCaptureControl(), nullptr);
}

TEST_F(LayerButtonTest, CheckboxToggles) {
  auto* box = new CLayerCheckboxCtrl(&root_, &window_, 1007, 0, 0, 14, 14);
  root_.AddChild(box);
  EXPECT_EQ(box->GetType(), kLayerTypeCheckbox);
  EXPECT_FALSE(box->IsChecked());
  root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5);
  root_.OnWindowLButtonUp(0, 5, 5);
  EXPECT_TRUE(box->IsChecked());
  root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5);
  root_.OnWindowLButtonUp(0, 5, 5);
  EXPECT_FALSE(box->IsChecked());
  EXPECT_EQ(window_.CommandsFor(1007), 2);
}

TEST_F(LayerButtonTest, LabelCommandsOnlyWhenItTakesTheMouse) {
  auto* label = new CLayerLabelCtrl(&root_, &window_, 1011, 0, 0, 100, 20);
  root_.AddChild(label);
  // By default a label lets the press through, so the window can be dragged.
  EXPECT_FALSE(root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5));
  root_.OnWindowLButtonUp(0, 5, 5);
  EXPECT_EQ(window_.CommandsFor(1011), 0);

  label->SetTakesMouse(TRUE);
  EXPECT_FALSE(label->GetPassThrough());
  EXPECT_TRUE(root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5));
  root_.OnWindowLButtonUp(0, 5, 5);
  EXPECT_EQ(window_.CommandsFor(1011), 1);
}

TEST_F(LayerButtonTest, TooltipFollowsTheHoveredControl) {
  auto* with_tip = new CLayerButtonCtrl(&root_, &window_, 1, 0, 0, 50, 50);
  auto* without = new CLayerButtonCtrl(&root_, &window_, 2, 100, 0, 50, 50);
  with_tip->SetHasToolTip(TRUE);
  with_tip->SetToolTip(L"close");
  root_.AddChild(with_tip);
  root_.AddChild(without);
  root_.OnWindowMouseMove(0, 10, 10);
  EXPECT_EQ(window_.tooltip, L"close");
  root_.OnWindowMouseMove(0, 110, 10);
  EXPECT_EQ(window_.tooltip, L"");
  root_.OnWindowMouseMove(0, 10, 10);
  root_.OnWindowMouseLeave();
  EXPECT_EQ(window_.tooltip, L"");
}

TEST_F(LayerButtonTest, CursorOnlyForControlsThatHaveOne) {
  auto* button = new CLayerButtonCtrl(&root_, &window_, 1, 0, 0, 50, 50);
  root_.AddChild(button);
  root_.OnWindowMouseMove(0, 10, 10);
  EXPECT_FALSE(root_.OnWindowSetCursor());
  button->SetCursorHandle(LoadCursorW(nullptr, IDC_HAND));
  EXPECT_TRUE(root_.OnWindowSetCursor());
}

}  // namespace
