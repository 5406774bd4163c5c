// Process-wide drawing resources of the wizard: the shared interface font and
// the fonts, images and cursor registered by identifier. The wizard's drawing
// code does not exist yet, so there is nothing to set up today; the setup run
// already calls these at their places.
#pragma once

inline void InitSharedFont() {}
inline void InitUiResources() {}
inline void TermUiResources() {}
