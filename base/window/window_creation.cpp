#include "base/window/window_creation.h"

namespace window_detail {
namespace {

// Per thread: two threads may create windows at the same time.
thread_local void* t_object = nullptr;
thread_local ATOM t_class = 0;

}  // namespace

CWindowCreationScope::CWindowCreationScope(void* object, ATOM window_class)
    : previous_object_(t_object), previous_class_(t_class) {
  t_object = object;
  t_class = window_class;
}

CWindowCreationScope::~CWindowCreationScope() {
  t_object = previous_object_;
  t_class = previous_class_;
}

void* TakeWindowBeingCreated(ATOM window_class) {
  if (!t_object || t_class != window_class) return nullptr;
  void* object = t_object;
  t_object = nullptr;
  return object;
}

}  // namespace window_detail
