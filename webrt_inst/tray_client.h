// The run host of InstWebView2: owns the run log for the length of one run.
#pragma once

#include <string>

namespace webrt {

class ITrayClient {
 public:
  virtual ~ITrayClient() = default;
  // False when the log could not be opened; the run does not start then.
  virtual bool OpenLog() = 0;
  virtual void CloseLog() = 0;
};

class CTrayClientBase : public ITrayClient {
 public:
  ~CTrayClientBase() override { CloseLog(); }
  void CloseLog() override;

 protected:
  // Starts a fresh log at `path` (an old file is deleted first). The log
  // stays off unless the switch file "<path>.on" exists.
  bool OpenLogAt(const std::wstring& path);

 private:
  bool open_ = false;
};

class TrayClient : public CTrayClientBase {
 public:
  // "<user temp>\webview2_inst.log".
  static std::wstring LogPath();
  bool OpenLog() override;
};

}  // namespace webrt
