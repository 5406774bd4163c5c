// ResInitializer: the process's interface resources registered by
// identifier: GDI+ fonts 1001-1015 in the shared font's face, the PNG strips
// of ui_resource_ids.h and the hand cursor 1001. Controls borrow them; only
// Term frees them.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "base/critical_section.h"
#include "base/thread.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/layer/image.h"

class ResInitializer : private base::IThreadCallback {
 public:
  // Created on first use under a lock.
  static ResInitializer* GetInstance();

  // Registers everything, images from `module`'s "PNG" resources (decoded on
  // first use). GDI+ must be running. Returns false when any font could not be
  // made or any image is missing; what could be made stays registered. A
  // second call first drops the first's.
  bool Init(HMODULE module);
  // Frees every registered resource; lookups answer null afterwards.
  void Term();
  // Decodes the registered images on a thread of its own, so that the first
  // frames find them ready; Term stops it and waits for it.
  void DecodeImagesAhead();

  // Null for an unknown or unregistered id.
  gdip::GpFont* GetFont(UINT id) const;
  const CImage* GetImage(UINT id) const;
  HCURSOR GetCursor(UINT id) const;

  ResInitializer() = default;
  ~ResInitializer() { Term(); }
  ResInitializer(const ResInitializer&) = delete;
  ResInitializer& operator=(const ResInitializer&) = delete;

 private:
  unsigned Run() override;

  std::map<UINT, gdip::GpFont*> fonts_;
  // Filled by GetImage; `module_` is where the images come from.
  mutable CCriticalSection images_lock_;
  mutable std::map<UINT, std::unique_ptr<CImage>> images_;
  HMODULE module_ = nullptr;
  std::map<UINT, HCURSOR> cursors_;
  volatile LONG stop_decoding_ = 0;
  base::CXThread decoder_;  // last: ended before what it fills goes
};

// Frame count of a registered image id (1 for an id not in the table).
int ImageFrameCount(UINT id);
