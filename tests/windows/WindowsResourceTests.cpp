// Windows-only loading paths: PNG resources of a module, UTF-8 file names
// opened through UTF-16, and the images the plug-in DLL carries.
#include "lice.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

void* ThisModule() { return GetModuleHandleW(nullptr); }

std::vector<unsigned char> ResourceBytes(int id)
{
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "PNG");
  const unsigned char* p = res ? (const unsigned char*)LockResource(LoadResource(nullptr, res)) : nullptr;
  return p ? std::vector<unsigned char>(p, p + SizeofResource(nullptr, res)) : std::vector<unsigned char>();
}

}  // namespace

TEST(WindowsPng, ResourceDecodesInDibByteOrder)
{
  std::unique_ptr<LICE_IBitmap> bm(LICE_ReadPngResource(ThisModule(), 200));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->Width(), 3);
  EXPECT_EQ(bm->Height(), 2);
  const unsigned char* first = (const unsigned char*)bm->PixelData();
  // RGBA 10, 20, 30, 40 lands as B, G, R, A.
  EXPECT_EQ(std::vector<unsigned char>(first, first + 4), (std::vector<unsigned char>{ 30, 20, 10, 40 }));
  EXPECT_EQ(bm->PixelData()[bm->RowSpan() + 2], LICE_RGBA(200, 100, 50, 0));

  // Only the low 16 bits name the resource; a given bitmap is filled and returned.
  LICE_MemBitmap given(10, 10);
  EXPECT_EQ(LICE_ReadPngResource(ThisModule(), 200 + 0x10000, &given), &given);
  EXPECT_EQ(given.Width(), 3);
}

TEST(WindowsPng, MissingShortOrForeignResourcesGiveNull)
{
  ASSERT_EQ(ResourceBytes(201).size(), 7u);
  ASSERT_EQ(ResourceBytes(202).size(), 8u);
  for (int id : { 201, 202, 299 }) EXPECT_EQ(LICE_ReadPngResource(ThisModule(), id), nullptr) << id;
}

TEST(WindowsPng, Utf8FileNamesReachTheFile)
{
  wchar_t dir[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, dir), 0u);
  // "Grün-Ωmega.png": not representable in most ANSI code pages.
  const std::wstring wide = std::wstring(dir) + L"Gr\u00fcn-\u03a9mega.png";
  const std::vector<unsigned char> png = ResourceBytes(200);
  FILE* f = _wfopen(wide.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fwrite(png.data(), 1, png.size(), f), png.size());
  fclose(f);

  char utf8[4 * MAX_PATH];
  ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr), 0);
  std::unique_ptr<LICE_IBitmap> bm(LICE_ReadPngChecked(utf8, true));
  _wremove(wide.c_str());
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->Width(), 3);
}

// The editor images the DLL was built with, by id: size of each.
TEST(WindowsPlugin, CarriesTheEditorImagesItWasBuiltWith)
{
  HMODULE dll = LoadLibraryExA(QUORVEX_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(dll, nullptr);
  const int sizes[5][2] = { { 545, 210 }, { 2050, 82 }, { 124, 62 }, { 18, 18 }, { 78, 85 } };
  for (int i = 0; i < 5; ++i)
  {
    // A data-file mapping tags the handle; resources are found through it.
    std::unique_ptr<LICE_IBitmap> bm(LICE_ReadPngResource(dll, 100 + i));
    EXPECT_TRUE(bm != nullptr) << 100 + i;
    if (!bm) continue;
    EXPECT_EQ(bm->Width(), sizes[i][0]) << 100 + i;
    EXPECT_EQ(bm->Height(), sizes[i][1]) << 100 + i;
  }
  FreeLibrary(dll);
}
