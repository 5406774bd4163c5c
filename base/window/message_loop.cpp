#include "base/window/message_loop.h"

#include <algorithm>

template <class T>
BOOL CMessageLoop::HandlerList<T>::Add(T* item) {
  if (!item || std::find(items.begin(), items.end(), item) != items.end()) return FALSE;
  items.push_back(item);
  return TRUE;
}

template <class T>
BOOL CMessageLoop::HandlerList<T>::Remove(T* item) {
  auto it = std::find(items.begin(), items.end(), item);
  if (!item || it == items.end()) return FALSE;
  *it = nullptr;
  Compact();
  return TRUE;
}

template <class T>
void CMessageLoop::HandlerList<T>::Compact() {
  if (passes == 0) items.erase(std::remove(items.begin(), items.end(), nullptr), items.end());
}

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter) { return filters_.Add(filter); }
BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { return filters_.Remove(filter); }
BOOL CMessageLoop::AddIdleHandler(CIdleHandler* handler) { return idle_handlers_.Add(handler); }
BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
  return idle_handlers_.Remove(handler);
}

BOOL CMessageLoop::IsIdleMessage(const MSG* msg) {
  switch (msg->message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // WM_SYSTIMER: caret blink
      return FALSE;
  }
  return TRUE;
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
  BOOL consumed = FALSE;
  ++filters_.passes;
  // Items added during the pass are appended past the start index and wait
  // for the next message.
  for (size_t i = filters_.items.size(); i-- > 0 && !consumed;) {
    CMessageFilter* filter = filters_.items[i];
    if (filter) consumed = filter->PreTranslateMessage(msg);
  }
  --filters_.passes;
  filters_.Compact();
  return consumed;
}

BOOL CMessageLoop::OnIdle(int idle_count) {
  ++idle_handlers_.passes;
  for (size_t i = 0; i < idle_handlers_.items.size(); ++i) {
    CIdleHandler* handler = idle_handlers_.items[i];
    if (handler) handler->OnIdle();
  }
  --idle_handlers_.passes;
  idle_handlers_.Compact();
  return FALSE;
}

int CMessageLoop::Run() {
  bool idle_armed = true;
  int idle_count = 0;
  for (;;) {
    while (idle_armed && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idle_count++)) idle_armed = false;
    }

    const BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
    if (got == -1) continue;  // nothing was retrieved; try again
    if (!got) break;          // WM_QUIT

    if (!PreTranslateMessage(&m_msg)) {
      ::TranslateMessage(&m_msg);
      ::DispatchMessageW(&m_msg);
    }
    if (IsIdleMessage(&m_msg)) {
      idle_armed = true;
      idle_count = 0;
    }
  }
  return static_cast<int>(m_msg.wParam);
}
