// setup's command tail through its real start-up: the split, the mode and the
// target must agree with a plain reading of the rule, and no byte of the tail
// may be read or written outside it.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <w32fake.h>

#include "fuzz_input.h"
#include "setup.h"

namespace {

struct Reading {
  bool usage;
  std::vector<std::string> args;  // as split, at most two
  int uninst;
  std::string dir;
};

bool IsSpace(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// The rule as written: only a blank ends an argument, white space after a
// separating blank is skipped, a third argument is a usage error, so is a
// first of two without "-", and a target longer than 255 characters.
Reading ReadTail(const std::string &tail) {
  Reading r{false, {}, 0, "ROVAN"};
  size_t pos = 0;
  bool third = false;
  while (pos < tail.size()) {
    if (r.args.size() == 2) {
      third = true;
      break;
    }
    size_t blank = tail.find(' ', pos);
    if (blank == std::string::npos) {
      r.args.push_back(tail.substr(pos));
      break;
    }
    r.args.push_back(tail.substr(pos, blank - pos));
    pos = blank + 1;
    while (pos < tail.size() && IsSpace(tail[pos])) pos++;
  }
  bool switched = !r.args.empty() && !r.args[0].empty() && r.args[0][0] == '-';
  if (r.args.size() == 2)
    r.dir = r.args[1];
  else if (r.args.size() == 1 && !switched)
    r.dir = r.args[0];
  r.uninst = switched;
  r.usage = third || (r.args.size() == 2 && !switched) || r.dir.size() > 255;
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A command tail is a C string: it ends at the first NUL. It gets a buffer
  // of its own length, so that any read or write past it is caught.
  std::string tail(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  char *buffer = static_cast<char *>(malloc(tail.size() + 1));
  memcpy(buffer, tail.c_str(), tail.size() + 1);

  w32fake::Reset();
  uninst = 7;
  memset(dir, 'x', sizeof dir - 1);
  dir[sizeof dir - 1] = 0;
  // No SETUP template: the dialog fails to be created right after the
  // command line has been taken, which is the seam we want.
  SetupStart(reinterpret_cast<HINSTANCE>(0x400000), buffer);

  Reading want = ReadTail(tail);
  const auto &boxes = w32fake::MessageBoxes();
  FUZZ_CHECK(boxes.size() == 1);
  if (want.usage) {
    FUZZ_CHECK(boxes[0].text == "Usage: setup [-u] [dir]\n");
    FUZZ_CHECK(w32fake::Dialogs().empty());
    FUZZ_CHECK(w32fake::Classes().empty());
    FUZZ_CHECK(uninst == 7);
  } else {
    FUZZ_CHECK(boxes[0].text == "unable to create SETUP dialog\n");
    FUZZ_CHECK(w32fake::Dialogs().size() == 1);
    FUZZ_CHECK(uninst == want.uninst);
    FUZZ_CHECK(want.dir == dir);
    FUZZ_CHECK(argc == 1 + (int)want.args.size());
    for (size_t i = 0; i < want.args.size(); i++) FUZZ_CHECK(want.args[i] == argv[i + 1]);
  }
  free(buffer);
  return 0;
}
