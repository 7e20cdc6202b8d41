/* Logs one warning through the installed SDK; exit code 0 when the call
 * returned (the library was found and linked at load time). */
#include "LogError.h"

int main(void) {
  LogWarning(NULL, 0, L"SDK consumer", NULL);
  return 0;
}
