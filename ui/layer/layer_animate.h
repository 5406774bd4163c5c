// CLayerAnimateCtrl: plays the frames of a strip image on a window timer (id =
// control id). A non-looping animation stops after its last frame and posts
// kMsgLayerAnimationDone with the id.
#pragma once

#include "ui/layer/layer_control.h"

class CImage;

class CLayerAnimateCtrl : public CLayerControlBase {
 public:
  static constexpr UINT kMinInterval = 20;
  static constexpr UINT kMaxInterval = 30000;

  CLayerAnimateCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                    int width, int height, UINT layout_flags = 0);

  // The interval is clamped to 20-30000 ms; a running animation keeps its old
  // interval until it is played again.
  void SetStrip(const CImage* strip, UINT interval_ms, BOOL loop);
  // Drawn (frame 0) while the animation is not playing.
  void SetStillImage(const CImage* still) { still_ = still; }
  void SetReverse(BOOL reverse) { reverse_ = reverse; }
  UINT GetInterval() const { return interval_; }
  int GetFrame() const { return frame_; }
  BOOL IsPlaying() const { return playing_; }

  void Play();
  void Stop();

  void OnTimer(UINT id) override;
  void Draw(HDC dc) override;
  void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) override;

 private:
  int FrameCount() const;

  const CImage* strip_ = nullptr;
  const CImage* still_ = nullptr;
  UINT interval_ = 100;
  BOOL loop_ = TRUE;
  BOOL reverse_ = FALSE;
  int frame_ = 0;
  BOOL playing_ = FALSE;
};
