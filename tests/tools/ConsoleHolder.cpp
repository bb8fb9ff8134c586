// Started inside a pseudo console so that a test program can attach to that console; it has no
// work of its own and is ended by the program once attached.
#include <windows.h>

int main() {
  Sleep(60000);
  return 0;
}
