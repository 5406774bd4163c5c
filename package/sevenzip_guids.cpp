// The one unit that defines the interface ids declared by 7-Zip's headers.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "Common/MyInitGuid.h"
#include "package/sevenzip_sdk.h"
