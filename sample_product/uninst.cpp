// Sample uninstaller of the product, installed as "uninst.exe" in the install
// root. The setup only links to it (shortcut, uninstall entry); it does nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
