// WDL_String: a NUL-terminated byte string over one WDL_HeapBuf; the stored
// size counts the terminator.
#pragma once

#include "heapbuf.h"

#include <cstdarg>

class WDL_String
{
public:
  explicit WDL_String(const char* initial = nullptr, int granul = 128);
  WDL_String(const WDL_String& other);
  WDL_String& operator=(const WDL_String& other);

  // maxlen > 0 copies at most maxlen bytes of str. A failed allocation keeps
  // the old text and returns false.
  bool Set(const char* str, int maxlen = 0);
  bool Append(const char* str, int maxlen = 0);
  // Stores at most maxlen characters of the formatted text.
  bool SetFormatted(int maxlen, const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  bool SetFormattedV(int maxlen, const char* fmt, va_list args);

  const char* Get() const;  // never null
  int GetLength() const;

private:
  WDL_HeapBuf m_hb;
};
