#include "engine/task_xml.h"

#include <cwctype>

namespace engine {
namespace {

struct Span {
  size_t begin = std::wstring::npos;  // first character of the content
  size_t end = std::wstring::npos;    // the '<' of the closing tag
  bool found() const { return begin != std::wstring::npos; }
};

bool IsNameEnd(wchar_t c) { return c == L'>' || c == L'/' || std::iswspace(c); }

// Position of the start tag <name ...> at or after `from` (before `limit`).
size_t FindStartTag(const std::wstring& xml, const wchar_t* name, size_t from, size_t limit) {
  const std::wstring open = std::wstring(L"<") + name;
  for (size_t at = xml.find(open, from); at != std::wstring::npos && at < limit;
       at = xml.find(open, at + 1)) {
    const size_t after = at + open.size();
    if (after < xml.size() && IsNameEnd(xml[after])) return at;
  }
  return std::wstring::npos;
}

// Content of element `name` in [from, limit). An empty element <x/> gives an
// empty span at its end.
Span FindElement(const std::wstring& xml, const wchar_t* name, size_t from, size_t limit) {
  Span span;
  const size_t tag = FindStartTag(xml, name, from, limit);
  if (tag == std::wstring::npos) return span;
  const size_t close = xml.find(L'>', tag);
  if (close == std::wstring::npos || close >= limit) return span;
  if (xml[close - 1] == L'/') {
    span.begin = span.end = close + 1;
    return span;
  }
  const size_t end = xml.find(std::wstring(L"</") + name + L">", close);
  if (end == std::wstring::npos || end > limit) return span;
  span.begin = close + 1;
  span.end = end;
  return span;
}

// The first <Exec> element's content when it is the first child of <Actions>.
Span FirstExec(const std::wstring& xml) {
  const Span actions = FindElement(xml, L"Actions", 0, xml.size());
  if (!actions.found()) return {};
  size_t at = actions.begin;
  // Skip blanks and comments to the first child element.
  for (;;) {
    while (at < actions.end && std::iswspace(xml[at])) ++at;
    if (xml.compare(at, 4, L"<!--") != 0) break;
    at = xml.find(L"-->", at);
    if (at == std::wstring::npos || at >= actions.end) return {};
    at += 3;
  }
  if (FindStartTag(xml, L"Exec", at, at + 1) != at) return {};
  return FindElement(xml, L"Exec", at, actions.end);
}

std::wstring ChildText(const std::wstring& xml, const Span& parent, const wchar_t* name) {
  const Span child = FindElement(xml, name, parent.begin, parent.end);
  if (!child.found()) return L"";
  return XmlUnescape(xml.substr(child.begin, child.end - child.begin));
}

}  // namespace

std::wstring XmlEscape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      case L'"': out += L"&quot;"; break;
      case L'\'': out += L"&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::wstring XmlUnescape(const std::wstring& text) {
  static const struct {
    const wchar_t* entity;
    wchar_t c;
  } kEntities[] = {{L"&amp;", L'&'}, {L"&lt;", L'<'},   {L"&gt;", L'>'},
                   {L"&quot;", L'"'}, {L"&apos;", L'\''}};
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == L'&') {
      for (const auto& e : kEntities) {
        const std::wstring entity = e.entity;
        if (text.compare(i, entity.size(), entity) == 0) {
          out += e.c;
          i += entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

bool ReadFirstExecAction(const std::wstring& xml, TaskAction* action) {
  const Span exec = FirstExec(xml);
  if (!exec.found()) return false;
  *action = {ChildText(xml, exec, L"Command"), ChildText(xml, exec, L"Arguments"),
             ChildText(xml, exec, L"WorkingDirectory")};
  return true;
}

bool ReplaceFirstExecAction(std::wstring* xml, const TaskAction& action) {
  const Span exec = FirstExec(*xml);
  if (!exec.found()) return false;
  std::wstring content = L"<Command>" + XmlEscape(action.path) + L"</Command>";
  if (!action.arguments.empty()) {
    content += L"<Arguments>" + XmlEscape(action.arguments) + L"</Arguments>";
  }
  if (!action.working_directory.empty()) {
    content += L"<WorkingDirectory>" + XmlEscape(action.working_directory) + L"</WorkingDirectory>";
  }
  if (exec.begin == exec.end && (*xml)[exec.begin - 2] == L'/') {
    // <Exec/>: give it a closing tag.
    const size_t tag = xml->rfind(L"<Exec", exec.begin);
    xml->replace(tag, exec.begin - tag, L"<Exec>" + content + L"</Exec>");
    return true;
  }
  xml->replace(exec.begin, exec.end - exec.begin, content);
  return true;
}

bool EnableInTaskXml(std::wstring* xml) {
  const Span settings = FindElement(*xml, L"Settings", 0, xml->size());
  if (!settings.found()) return false;
  // <Enabled> also appears inside triggers, but not as a child of <Settings>
  // before the settings' own one; search within <Settings> only, skipping
  // nested elements such as <IdleSettings> that have no <Enabled>.
  const Span enabled = FindElement(*xml, L"Enabled", settings.begin, settings.end);
  if (!enabled.found()) {
    xml->insert(settings.begin, L"<Enabled>true</Enabled>");
  } else if (enabled.begin == enabled.end && (*xml)[enabled.begin - 2] == L'/') {
    const size_t tag = xml->rfind(L"<Enabled", enabled.begin);
    xml->replace(tag, enabled.begin - tag, L"<Enabled>true</Enabled>");
  } else {
    xml->replace(enabled.begin, enabled.end - enabled.begin, L"true");
  }
  return true;
}

}  // namespace engine
