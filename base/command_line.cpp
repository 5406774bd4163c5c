#include "base/command_line.h"

namespace {

// Length of a switch prefix: "--" or "/-" count two, "-" or "/" one.
size_t PrefixLength(const std::wstring& token) {
  return token.size() >= 2 && token[1] == L'-' ? 2 : 1;
}

bool LooksLikeSwitch(const std::wstring& token) {
  return token.size() >= 2 && (token[0] == L'-' || token[0] == L'/');
}

bool StartsAndEndsWith(const std::wstring& s, const wchar_t* edge) {
  const size_t n = std::char_traits<wchar_t>::length(edge);
  return s.size() >= 2 * n && s.compare(0, n, edge) == 0 && s.compare(s.size() - n, n, edge) == 0;
}

}  // namespace

void CCommandLine::Parse(const wchar_t* text) {
  raw_ = text ? text : L"";
  const std::wstring& s = raw_;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == L' ') ++i;
    if (i >= s.size()) break;
    bool quoted = false, escaped_quote = false;
    wchar_t previous = 0;
    size_t equals_pos = std::wstring::npos;
    std::wstring token;
    for (; i < s.size(); ++i) {
      const wchar_t c = s[i];
      if (c == L' ' && !quoted && !escaped_quote) break;
      if (c == L'"') {
        if (previous == L'\\' && quoted && !escaped_quote &&
            (i + 1 == s.size() || s[i + 1] == L' ')) {
          // "C:\Dir\" at the end of a token closes the quote: a directory
          // with its trailing backslash, as users and host programs write
          // it. Read as an escape, it would swallow the rest of the line.
          quoted = false;
        } else if (previous == L'\\') {
          escaped_quote = !escaped_quote;
        } else {
          quoted = !quoted;
        }
      } else if (c == L'=' && equals_pos == std::wstring::npos) {
        equals_pos = token.size();
      }
      token.push_back(c);
      previous = c;
    }
    AddToken(token, equals_pos);
    // An unterminated quote has swallowed the rest of the text.
  }
}

void CCommandLine::AddToken(const std::wstring& token, size_t equals_pos) {
  if (!LooksLikeSwitch(token)) {
    arguments_.push_back(token);
    return;
  }
  const size_t start = PrefixLength(token);
  if (equals_pos == std::wstring::npos) {
    switches_[token.substr(start)] = std::wstring();
    return;
  }
  // "-=x" style tokens have their "=" inside the prefix; the name is then empty.
  const std::wstring name = equals_pos >= start ? token.substr(start, equals_pos - start) : std::wstring();
  std::wstring value = token.substr(equals_pos + 1);
  if (StartsAndEndsWith(value, L"\"")) value = value.substr(1, value.size() - 2);
  if (StartsAndEndsWith(value, L"\\\"")) value = value.substr(2, value.size() - 4);
  switches_[name] = value;
}

const std::wstring* CCommandLine::Find(const std::wstring& name) const {
  auto it = switches_.find(name);
  if (it != switches_.end()) return &it->second;
  if (LooksLikeSwitch(name)) {
    it = switches_.find(name.substr(PrefixLength(name)));
    if (it != switches_.end()) return &it->second;
  }
  return nullptr;
}

bool CCommandLine::HasSwitch(const std::wstring& name) const { return Find(name) != nullptr; }

bool CCommandLine::GetValue(const std::wstring& name, std::wstring* out) const {
  const std::wstring* value = Find(name);
  if (!value) {
    out->clear();
    return false;
  }
  *out = *value;
  return true;
}
