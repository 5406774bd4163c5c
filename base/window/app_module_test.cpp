#include "base/window/app_module.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/window/message_loop.h"

namespace {

TEST(AppModule, MessageLoopsAreKeptPerThread) {
  CAppModule& module = AppModule();
  CMessageLoop main_loop, worker_loop;
  ASSERT_TRUE(module.AddMessageLoop(&main_loop));
  EXPECT_FALSE(module.AddMessageLoop(&worker_loop));  // one per thread

  const DWORD main_id = GetCurrentThreadId();
  DWORD worker_id = 0;
  CMessageLoop *worker_saw_own = nullptr, *worker_saw_main = nullptr;
  BOOL removed = FALSE, removed_again = TRUE;
  std::thread worker([&] {
    worker_id = GetCurrentThreadId();
    if (!module.AddMessageLoop(&worker_loop)) return;
    worker_saw_own = module.GetMessageLoop();
    worker_saw_main = module.GetMessageLoop(main_id);
    removed = module.RemoveMessageLoop();
    removed_again = module.RemoveMessageLoop();
  });
  worker.join();

  EXPECT_EQ(worker_saw_own, &worker_loop);
  EXPECT_EQ(worker_saw_main, &main_loop);
  EXPECT_TRUE(removed);
  EXPECT_FALSE(removed_again);
  EXPECT_EQ(module.GetMessageLoop(worker_id), nullptr);
  EXPECT_EQ(module.GetMessageLoop(), &main_loop);  // untouched by the worker

  module.Term();
  EXPECT_EQ(module.GetMessageLoop(), nullptr);
}

TEST(AppModule, InstancesDefaultToThisModuleUntilSet) {
  CAppModule& module = AppModule();
  const HINSTANCE exe = GetModuleHandleW(nullptr);  // the library is linked in
  const HINSTANCE user32 = GetModuleHandleW(L"user32.dll");
  const HINSTANCE kernel32 = GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(module.GetModuleInstance(), exe);
  EXPECT_EQ(module.GetResourceInstance(), exe);

  EXPECT_EQ(module.Init(kernel32), S_OK);
  EXPECT_EQ(module.SetResourceInstance(user32), nullptr);
  EXPECT_EQ(module.GetModuleInstance(), kernel32);
  EXPECT_EQ(module.GetResourceInstance(), user32);

  module.Term();
  EXPECT_EQ(module.GetModuleInstance(), exe);
  EXPECT_EQ(module.GetResourceInstance(), exe);
}

}  // namespace
