// GetLastErrorText over any system text (empty, one character, with insert
// sequences, NULs or line ends anywhere) and any buffer size up to 300: it
// writes only inside the buffer, always ends it with a NUL, and gives either
// nothing or the system's text without its closing line end followed by the
// code in parentheses.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <w32fake.h>

#include "fuzz_input.h"
#include "service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in{data, size};
  w32fake::Reset();
  DWORD code = TakeDword(&in);
  DWORD bufSize = TakeWord(&in) % 301;
  unsigned known = TakeByte(&in);
  std::string text = TakeRest(&in);
  // Most runs have a text for the code; some leave the lookup to fail (or to
  // find one of the layer's stock texts).
  if (known != 0xff) w32fake::SetSystemMessage(code, text);

  char *buf = ExactBuffer(bufSize);
  SetLastError(code);
  char *got = GetLastErrorText(buf, bufSize);
  FUZZ_CHECK(got == buf);
  FUZZ_CHECK(w32fake::LocalAllocations() == 0);
  if (bufSize > 0) {
    FUZZ_CHECK(memchr(buf, 0, bufSize) != NULL);
    std::string result(buf);
    if (known != 0xff) {
      // Nothing when there is no text or the longest form would not fit.
      bool empty = text.empty() || (size_t)bufSize < text.size() + 14;
      if (empty) {
        FUZZ_CHECK(result.empty());
      } else {
        std::string sentence = text;
        if (!sentence.empty() && sentence.back() == '\n') sentence.pop_back();
        if (!sentence.empty() && sentence.back() == '\r') sentence.pop_back();
        sentence = sentence.substr(0, sentence.find('\0'));
        char tail[32];
        snprintf(tail, sizeof tail, " (0x%x)", (unsigned)code);
        FUZZ_CHECK(result == sentence + tail);
      }
    } else if (!result.empty()) {
      char tail[32];
      snprintf(tail, sizeof tail, " (0x%x)", (unsigned)code);
      FUZZ_CHECK(result.size() > strlen(tail));
      FUZZ_CHECK(result.compare(result.size() - strlen(tail), std::string::npos, tail) == 0);
    }
  }
  FreeExact(buf, bufSize);
  return 0;
}
