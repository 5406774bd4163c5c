// The first action and the enabled state of a registered task, read from
// and written into the task's XML. The object model's action collection is not used for this
// because not every Task Scheduler implements it (Wine's neither lists nor
// stores actions), while the XML a task was registered with is kept intact.
#pragma once

#include <string>

#include "engine/logon_task.h"

namespace engine {

// True when the <Actions> element's first child is <Exec>; missing
// Command/Arguments/WorkingDirectory elements read as empty.
bool ReadFirstExecAction(const std::wstring& xml, TaskAction* action);

// Replaces the children of that first <Exec> with the three values. False
// (and `xml` untouched) when the first action is not an <Exec>.
bool ReplaceFirstExecAction(std::wstring* xml, const TaskAction& action);

// Sets <Settings><Enabled> to true. False when the XML has no <Settings>
// (a task without one is enabled already).
bool EnableInTaskXml(std::wstring* xml);

std::wstring XmlEscape(const std::wstring& text);
std::wstring XmlUnescape(const std::wstring& text);

}  // namespace engine
