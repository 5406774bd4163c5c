#include "ui/layer/layer_animate.h"

#include <gtest/gtest.h>

#include "ui/layer/layer_test_support.h"

namespace {

class LayerAnimateTest : public ::testing::Test {
 protected:
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 100, 100};
  CLayerAnimateCtrl* anim_ = nullptr;
  void SetUp() override {
    anim_ = new CLayerAnimateCtrl(&root_, &window_, 42, 0, 0, 10, 10);
    root_.AddChild(anim_);
  }
  void TearDown() override { root_.RemoveAll(FALSE); }
};

TEST_F(LayerAnimateTest, IntervalIsClampedAndUsedForTheTimer) {
  EXPECT_EQ(anim_->GetType(), kLayerTypeAnimation);
  EXPECT_EQ(anim_->GetInterval(), 100u);  // the default
  anim_->SetStrip(nullptr, 5, TRUE);
  EXPECT_EQ(anim_->GetInterval(), 20u);
  anim_->Play();
  EXPECT_EQ(window_.timers[42], 20u);
  anim_->Stop();
  EXPECT_EQ(window_.timers.count(42), 0u);
  anim_->SetStrip(nullptr, 60000, TRUE);
  EXPECT_EQ(anim_->GetInterval(), 30000u);
  anim_->Play();
  EXPECT_EQ(window_.timers[42], 30000u);
  anim_->SetStrip(nullptr, 250, TRUE);
  EXPECT_EQ(anim_->GetInterval(), 250u);
}

TEST_F(LayerAnimateTest, NonLoopingStopsAfterOneRoundAndReports) {
  anim_->SetStrip(nullptr, 50, FALSE);  // no strip: one frame
  anim_->Play();
  EXPECT_TRUE(anim_->IsPlaying());
  anim_->OnTimer(7);  // someone else's timer
  EXPECT_TRUE(anim_->IsPlaying());
  anim_->OnTimer(42);
  EXPECT_FALSE(anim_->IsPlaying());
  EXPECT_EQ(anim_->GetFrame(), 0);
  EXPECT_TRUE(window_.timers.empty());
  ASSERT_EQ(window_.posted.size(), 1u);
  EXPECT_EQ(window_.posted[0].msg, kMsgLayerAnimationDone);
  EXPECT_EQ(window_.posted[0].wparam, 42u);
}

TEST_F(LayerAnimateTest, LoopingKeepsPlaying) {
  anim_->SetStrip(nullptr, 50, TRUE);
  anim_->Play();
  for (int i = 0; i < 5; ++i) anim_->OnTimer(42);
  EXPECT_TRUE(anim_->IsPlaying());
  EXPECT_TRUE(window_.posted.empty());
}

TEST_F(LayerAnimateTest, ClickCommands) {
  root_.OnWindowLButtonDown(MK_LBUTTON, 5, 5);
  root_.OnWindowLButtonUp(0, 5, 5);
  EXPECT_EQ(window_.CommandsFor(42), 1);
}

}  // namespace
