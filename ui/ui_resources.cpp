#include "ui/ui_resources.h"

#include "engine/process_state.h"
#include "ui/layer/shared_font.h"
#include "ui/res_initializer.h"

void InitSharedFont() { CSharedFont::GetInstance(); }

void InitUiResources() {
  HMODULE module = ResourceModule();
  // Missing pieces draw nothing; the run goes on without them.
  ResInitializer::GetInstance()->Init(module ? module : GetModuleHandleW(nullptr));
}

void DecodeUiImagesAhead() { ResInitializer::GetInstance()->DecodeImagesAhead(); }

void TermUiResources() { ResInitializer::GetInstance()->Term(); }
