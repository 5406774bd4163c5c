// Ids shared by dialog_impl_test.rc and dialog_impl_test.cpp.
#pragma once

#define IDD_WINDOW_TEST 101
#define IDC_WINDOW_TEST_EDIT 1001
