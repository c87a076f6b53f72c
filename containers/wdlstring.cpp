#include "wdlstring.h"

#include <cstdio>
#include <cstring>

WDL_String::WDL_String(const char* initial, int granul) : m_hb(granul)
{
  if (initial && *initial) Set(initial);
}

WDL_String::WDL_String(const WDL_String& other) : m_hb(other.m_hb.GetGranul()) { Set(other.Get()); }

WDL_String& WDL_String::operator=(const WDL_String& other)
{
  if (this != &other) Set(other.Get());
  return *this;
}

const char* WDL_String::Get() const
{
  const char* p = static_cast<const char*>(m_hb.Get());
  return p ? p : "";
}

int WDL_String::GetLength() const
{
  const int sz = m_hb.GetSize();
  return sz > 0 ? sz - 1 : 0;
}

static int BoundedLength(const char* str, int maxlen)
{
  if (!str) return 0;
  if (maxlen > 0)
  {
    const void* nul = std::memchr(str, 0, (size_t)maxlen);
    return nul ? (int)((const char*)nul - str) : maxlen;
  }
  const size_t n = std::strlen(str);
  return n > 0x7ffffffeu ? -1 : (int)n;
}

bool WDL_String::Set(const char* str, int maxlen)
{
  const int len = BoundedLength(str, maxlen);
  if (len < 0) return false;
  // str may point into our own buffer: copy through a resize that never
  // moves existing bytes before they are read.
  if (len == 0)
  {
    m_hb.Resize(0);
    return true;
  }
  const char* old = static_cast<const char*>(m_hb.Get());
  if (old && str >= old && str < old + m_hb.GetSize())
  {
    WDL_String tmp;
    if (!tmp.Set(str, len)) return false;
    return Set(tmp.Get());
  }
  char* p = static_cast<char*>(m_hb.Resize(len + 1));
  if (!p) return false;
  std::memcpy(p, str, (size_t)len);
  p[len] = 0;
  return true;
}

bool WDL_String::Append(const char* str, int maxlen)
{
  const int len = BoundedLength(str, maxlen);
  if (len <= 0) return len == 0;
  const char* old = static_cast<const char*>(m_hb.Get());
  if (old && str >= old && str < old + m_hb.GetSize())
  {
    WDL_String tmp;
    if (!tmp.Set(str, len)) return false;
    return Append(tmp.Get());
  }
  const int cur = GetLength();
  if ((long long)cur + len + 1 > 0x7fffffffLL) return false;
  char* p = static_cast<char*>(m_hb.Resize(cur + len + 1, false));
  if (!p) return false;
  std::memcpy(p + cur, str, (size_t)len);
  p[cur + len] = 0;
  return true;
}

bool WDL_String::SetFormatted(int maxlen, const char* fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  const bool ok = SetFormattedV(maxlen, fmt, args);
  va_end(args);
  return ok;
}

bool WDL_String::SetFormattedV(int maxlen, const char* fmt, va_list args)
{
  if (maxlen < 0 || maxlen > 0x7ffffffe || !fmt) return false;
  // Format into a block of its own: the arguments may point into our text,
  // and a failed allocation must leave that text (and its length) whole.
  WDL_HeapBuf tmp(m_hb.GetGranul());
  char* p = static_cast<char*>(tmp.Resize(maxlen + 1));
  if (!p) return false;
  int n = std::vsnprintf(p, (size_t)maxlen + 1, fmt, args);
  if (n < 0) return false;
  if (n > maxlen) n = maxlen;
  p[n] = 0;
  return n == 0 ? Set(nullptr) : Set(p, n);
}
