// Records shared by the plug-in base and the format adapters.
#pragma once

#include "heapbuf.h"

#include <cstdint>

struct ChannelIOPair
{
  int mIn, mOut;
  ChannelIOPair(int nIn, int nOut) : mIn(nIn), mOut(nOut) {}
};

struct InputChannelRec
{
  bool mConnected = false;
  double** mSlot = nullptr;       // this channel's entry in the input slots
  WDL_TypedBuf<double> mScratch;  // one block; zeros when unconnected
  WDL_TypedBuf<float> mFScratch;  // the same for an effect fed floats
};

struct OutputChannelRec
{
  bool mConnected = false;
  double** mSlot = nullptr;
  float* mFDest = nullptr;  // host float buffer of the current block
  WDL_TypedBuf<double> mScratch;
  WDL_TypedBuf<float> mFScratch;  // written and discarded when unconnected
};

struct MidiMessage
{
  int mOffset = 0;
  uint8_t mStatus = 0, mData1 = 0, mData2 = 0;
};

struct SysExMessage
{
  int mOffset = 0;
  int mSize = 0;
  const uint8_t* mData = nullptr;  // not owned
};
