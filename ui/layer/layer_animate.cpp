#include "ui/layer/layer_animate.h"

#include <algorithm>

#include "ui/layer/image.h"

CLayerAnimateCtrl::CLayerAnimateCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id,
                                     int x, int y, int width, int height, UINT layout_flags)
    : CLayerControlBase(parent, owner, id, x, y, width, height, layout_flags) {
  type_ = kLayerTypeAnimation;
}

void CLayerAnimateCtrl::SetStrip(const CImage* strip, UINT interval_ms, BOOL loop) {
  strip_ = strip;
  // Faster ticks would flood the window with recompositions; slower ones look
  // like a hang.
  interval_ = std::clamp(interval_ms, kMinInterval, kMaxInterval);
  loop_ = loop;
}

int CLayerAnimateCtrl::FrameCount() const { return strip_ ? strip_->FrameCount() : 1; }

void CLayerAnimateCtrl::Play() {
  if (playing_) return;
  frame_ = 0;
  playing_ = TRUE;
  StartTimer(interval_);
  Invalidate(nullptr);
}

void CLayerAnimateCtrl::Stop() {
  if (!playing_) return;
  frame_ = 0;
  playing_ = FALSE;
  StopTimer();
  Invalidate(nullptr);
}

void CLayerAnimateCtrl::OnTimer(UINT id) {
  if (!playing_ || id != id_) return;
  if (++frame_ < FrameCount()) {
    Invalidate(nullptr);
    return;
  }
  frame_ = 0;
  if (loop_) {
    Invalidate(nullptr);
    return;
  }
  playing_ = FALSE;
  StopTimer();
  Invalidate(nullptr);
  if (owner_) owner_->PostMessage(kMsgLayerAnimationDone, id_, 0);
}

void CLayerAnimateCtrl::Draw(HDC dc) {
  if (still_ && !playing_) {
    still_->DrawFrame(dc, 0, rect_);
    return;
  }
  if (!strip_) return;
  const int frame = reverse_ ? FrameCount() - frame_ - 1 : frame_;
  strip_->DrawFrame(dc, frame, rect_);
}

void CLayerAnimateCtrl::OnLButtonUp(UINT, int, int, BOOL&) { PostCommand(); }
