/* Included first in every file of the Darwin stand-in build. musl's headers
 * reach errno and stderr through names of their own (__errno_location,
 * stderr); Apple's C library exports them as __error and __stderrp, the
 * only names the stubbed libSystem declares. */
#pragma once

#include <errno.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C"
{
#endif
  extern int* __error(void);
  extern FILE* __stderrp;
#ifdef __cplusplus
}
#endif

#undef errno
#define errno (*__error())
#undef stderr
#define stderr __stderrp
