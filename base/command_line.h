// Tokenizer for the setup's command line: switches ("-x", "--x", "/x",
// optionally "=value") go into a case-sensitive map, everything else into the
// list of plain arguments.
#pragma once

#include <map>
#include <string>
#include <vector>

class CCommandLine {
 public:
  // Adds the tokens of `text` (null counts as empty); earlier results are kept
  // and a repeated switch replaces its earlier value.
  void Parse(const wchar_t* text);

  // True when `name` is a stored switch, or when `name` carries a "-", "--",
  // "/" or "/-" prefix and the name without it is one.
  bool HasSwitch(const std::wstring& name) const;

  // Same lookup; `out` receives the (possibly empty) value, or is cleared.
  bool GetValue(const std::wstring& name, std::wstring* out) const;

  const std::map<std::wstring, std::wstring>& switches() const { return switches_; }
  const std::vector<std::wstring>& arguments() const { return arguments_; }
  const std::wstring& raw() const { return raw_; }

 private:
  const std::wstring* Find(const std::wstring& name) const;
  void AddToken(const std::wstring& token, size_t equals_pos);

  std::map<std::wstring, std::wstring> switches_;
  std::vector<std::wstring> arguments_;
  std::wstring raw_;
};
