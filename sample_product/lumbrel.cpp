// Sample browser-engine library of the product, installed as "Utils\Lumbrel.dll".
//
// Export "Start" (stdcall, exported under its plain name): takes one
// null-terminated UTF-16 string, appends it as one UTF-8 line to
// %ProgramData%\PelorixSample\lumbrel.log and returns 0, or 1 when the line
// could not be written. The setup calls it with the engine version it expects.
#include <windows.h>

#include "sample_product/sample_log.h"

extern "C" __declspec(dllexport) int WINAPI Start(const wchar_t* version) {
  return sample::AppendLogLine(L"lumbrel.log", version ? version : L"") ? 0 : 1;
}
