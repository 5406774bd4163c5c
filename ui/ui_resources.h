// Process-wide drawing resources of the interface, set up and torn down by the
// setup run: the shared interface font, then the fonts, images and cursor
// ResInitializer registers by identifier (images from the resource module).
#pragma once

void InitSharedFont();
void InitUiResources();
// For a run that shows its wizard: the images are decoded meanwhile on a
// thread of their own.
void DecodeUiImagesAhead();
void TermUiResources();
