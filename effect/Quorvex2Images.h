// The editor images compiled into the plug-in (Linux build), so that the
// loadable module is one file. Ids and names are those of the Windows
// resources: 100 "img/bg.png" ... 104 "img/radio.png".
#pragma once

#include <cstddef>

struct QuorvexEmbeddedFile
{
  int id;
  const char* name;
  const unsigned char* data;
  size_t size;
};

// The file with this id, or null. Any thread, no lock: the table is constant.
const QuorvexEmbeddedFile* QuorvexFindEmbeddedFile(int id);

// The whole table; *count (when given) receives its length. Any thread.
const QuorvexEmbeddedFile* QuorvexEmbeddedFiles(size_t* count);
