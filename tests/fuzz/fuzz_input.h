// Reading a fuzzer's bytes as the fields of one run. A field that the input
// does not reach reads as zero or empty, so any input is a valid run; the
// seed files are written by make_corpus.py in the same layout.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

struct FuzzInput {
  const uint8_t *data;
  size_t size;
};

inline unsigned TakeByte(FuzzInput *in) {
  if (in->size == 0) return 0;
  unsigned b = in->data[0];
  in->data++;
  in->size--;
  return b;
}

// Two bytes, low byte first.
inline unsigned TakeWord(FuzzInput *in) {
  unsigned lo = TakeByte(in);
  return lo | (TakeByte(in) << 8);
}

inline unsigned TakeDword(FuzzInput *in) {
  unsigned lo = TakeWord(in);
  return lo | (TakeWord(in) << 16);
}

// A length (two bytes, taken modulo limit + 1) and that many bytes, fewer
// when the input ends first. The bytes may hold NULs.
inline std::string TakeBytes(FuzzInput *in, size_t limit) {
  size_t n = TakeWord(in) % (limit + 1);
  if (n > in->size) n = in->size;
  std::string s(reinterpret_cast<const char *>(in->data), n);
  in->data += n;
  in->size -= n;
  return s;
}

inline std::string TakeRest(FuzzInput *in) {
  std::string s(reinterpret_cast<const char *>(in->data), in->size);
  in->data += in->size;
  in->size = 0;
  return s;
}

// A buffer of exactly n bytes, for n = 0 too: the sanitizer gives an empty
// allocation one byte, so an empty buffer is placed at the end of one.
inline char *ExactBuffer(size_t n) {
  char *b = static_cast<char *>(malloc(n == 0 ? 1 : n));
  return n == 0 ? b + 1 : b;
}

inline void FreeExact(char *p, size_t n) { free(n == 0 ? p - 1 : p); }

// Reports a broken promise with the input that broke it (libFuzzer saves it)
// and ends the run as a crash.
#define FUZZ_CHECK(cond)                                                       \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      abort();                                                                 \
    }                                                                          \
  } while (0)
