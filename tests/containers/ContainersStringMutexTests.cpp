// WDL_String editing and formatting, and the recursive lock.
#include "ScopedFailingHeap.h"
#include "mutex.h"
#include "wdlstring.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

TEST(ContainersString, SetAppendAndSelfReferences)
{
  WDL_String s;
  EXPECT_STREQ(s.Get(), "");
  EXPECT_TRUE(s.Set("hello world", 5));
  EXPECT_TRUE(s.Append(", there", 2));
  EXPECT_STREQ(s.Get(), "hello, ");
  EXPECT_EQ(s.GetLength(), 7);
  EXPECT_TRUE(s.Set("ab", 10));  // maxlen past the terminator stops at it
  EXPECT_STREQ(s.Get(), "ab");
  EXPECT_TRUE(s.Set(nullptr));
  EXPECT_STREQ(s.Get(), "");

  // Appending or setting from our own bytes, also across a reallocation.
  const std::string base(200, 'x');
  s.Set((base + "yz").c_str());
  EXPECT_TRUE(s.Append(s.Get()));
  EXPECT_EQ(std::string(s.Get()), base + "yz" + base + "yz");
  EXPECT_TRUE(s.Append(s.Get() + 400, 3));  // "xxy"
  EXPECT_EQ(s.GetLength(), 407);
  EXPECT_EQ(std::string(s.Get() + 400), "xxyzxxy");
  EXPECT_TRUE(s.Set(s.Get() + 402));
  EXPECT_STREQ(s.Get(), "yzxxy");

  WDL_String copy(s);
  s.Set("other");
  EXPECT_STREQ(copy.Get(), "yzxxy");
}

TEST(ContainersString, FormattedSetTruncates)
{
  WDL_String s("previous");
  const struct
  {
    int max;
    const char* expect;
  } kCases[] = { { 5, "12345" }, { 10, "1234567" }, { 0, "" } };
  for (const auto& c : kCases)
  {
    EXPECT_TRUE(s.SetFormatted(c.max, "%d", 1234567));
    EXPECT_STREQ(s.Get(), c.expect);
    EXPECT_EQ(s.GetLength(), (int)std::strlen(c.expect));
  }

  // The string's own text as an argument, short and across a reallocation.
  s.Set("abc");
  EXPECT_TRUE(s.SetFormatted(100, "%s-%s", s.Get(), s.Get()));
  EXPECT_STREQ(s.Get(), "abc-abc");
  const std::string longText(300, 'q');
  s.Set(longText.c_str());
  EXPECT_TRUE(s.SetFormatted(1000, "<%s>", s.Get()));
  EXPECT_EQ(std::string(s.Get()), "<" + longText + ">");
}

TEST(ContainersString, FailedAllocationKeepsText)
{
  WDL_String s("short");
  const std::string longText(1000, 'L');
  WDL_String big(longText.c_str());
  {
    ScopedFailingHeap failing;
    EXPECT_FALSE(s.Set(longText.c_str()));
    EXPECT_FALSE(s.Append(longText.c_str()));
    EXPECT_FALSE(s.SetFormatted(500, "%s", longText.c_str()));
    // Short output into a big string may need a shrinking reallocation:
    // either it worked or the old text is intact.
    const bool ok = big.SetFormatted(1200, "%s", "x");
    EXPECT_EQ(std::string(big.Get()), ok ? "x" : longText);
    EXPECT_EQ(big.GetLength(), ok ? 1 : 1000);
  }
  EXPECT_STREQ(s.Get(), "short");
  EXPECT_EQ(s.GetLength(), 5);
}

TEST(ContainersMutex, RecursiveAndExclusive)
{
  WDL_Mutex m;
  bool otherGotIn = false;
  m.Enter();
  m.Enter();  // same thread enters again
  std::thread other(
      [&]
      {
        WDL_MutexLock lock(&m);
        otherGotIn = true;
      });
  // The pause only gives the other thread a chance to get in wrongly.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  m.Leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(otherGotIn);  // still held once
  m.Leave();
  other.join();
  EXPECT_TRUE(otherGotIn);

  long counter = 0;
  auto work = [&]
  {
    for (int i = 0; i < 100000; ++i)
    {
      WDL_MutexLock lock(&m);
      WDL_MutexLock again(&m);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);

  WDL_MutexLock none(nullptr);  // a null mutex is a no-op guard
}
