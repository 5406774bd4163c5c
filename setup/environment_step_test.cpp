#include "setup/environment_step.h"

#include <gtest/gtest.h>

TEST(EnvironmentMessage, OneMessagePerCodeAndNoneOutsideThem) {
  struct Case {
    int code;
    const wchar_t* message;
  } cases[] = {
      {0, L""},
      {1, L"没有可用的磁盘空间，无法继续安装"},
      {2, L"系统临时目录不可写，无法继续安装"},
      {3, L"系统临时目录空间太小，无法继续安装"},
      {4, L"请以管理员权限重新运行安装程序"},
      {5, L""},
      {-1, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(EnvironmentMessage(c.code), c.message) << c.code;
}
