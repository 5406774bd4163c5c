// Starting the product at log-on: a scheduled task where the Task Scheduler
// can hold one, else a value under the machine-wide Run key.
#pragma once

#include <windows.h>

#include <string>

#include "engine/autorun_record.h"
#include "engine/logon_task.h"

namespace engine {

// Name of the task and of the Run value.
inline constexpr wchar_t kAutorunName[] = L"Pelorix";
// HKLM/HKCU subkey of the Run values.
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// On: sets autorun up for the product in `install_dir`. Off: removes the task
// and the Run values of HKCU and HKLM. 1 when done, 0 on failure or without
// a directory. The caller has COM initialised; this pairs its own.
int SetAutorun(bool on, const wchar_t* install_dir);

// The same against `store`, as if Windows' major version were `windows_major`.
int SetAutorun(bool on, const wchar_t* install_dir, ITaskStore& store, DWORD windows_major);

// Writes HKLM Run value `name` = "%s %s" of the record (REG_SZ, stored with
// its terminator) unless it already holds that text in any letter case.
// 1 on success, 0 when the Run key cannot be opened or written.
int WriteRunValue(const std::wstring& name, const AutorunRecord& record);

}  // namespace engine
