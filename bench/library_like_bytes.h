// Test data for the benchmarks that read carried files.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace bench {

// Bytes that compress about as well as a program library: words from a small
// vocabulary, numbers, and some noise.
inline QByteArray libraryLikeBytes(qsizetype size, uint32_t seed) {
  static const char* words[] = {"Torvida", "kernel", "\x00\x00\x00\x00", "MOV", "call", "\xFF\xFE", "print", "list"};
  QByteArray out;
  out.reserve(size);
  uint32_t state = seed;
  while (out.size() < size) {
    state = state * 1664525u + 1013904223u;
    if ((state >> 28) < 3) out.append(static_cast<char>(state >> 8));
    else out.append(words[(state >> 16) & 7]);
  }
  out.resize(size);
  return out;
}

}  // namespace bench
