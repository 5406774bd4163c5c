// What an install run downloads and how long it waits; the defaults are the
// configured endpoints, tests substitute their own.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace webrt {

struct FlowConfig {
  // Download method 0.
  std::wstring bootstrapper_url;
  DWORD bootstrapper_timeout_ms = 120000;
  // Download method 1: returns the URL (empty when none fits the machine) and
  // stores the expected MD5.
  std::function<std::wstring(std::wstring* md5)> select_cdn;
  DWORD cdn_timeout_ms = 1000000;
};

// The configured vendor link, the CDN catalogue for this machine, and the
// production time-outs.
FlowConfig DefaultFlowConfig();

}  // namespace webrt
