// 7-Zip's published interface headers, with the COM and OLE Automation
// declarations they expect (the project builds with WIN32_LEAN_AND_MEAN).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>

#include "Common/MyCom.h"
#include "7zip/Archive/IArchive.h"
#include "7zip/IPassword.h"
#include "7zip/IProgress.h"
#include "7zip/IStream.h"
#include "7zip/PropID.h"
