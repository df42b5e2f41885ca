// Prints what Windows itself reads from a binary's resources:
//   resinfo FILE
//   ProductName: <text>
//   FileDescription: <text>
//   FileVersion: <text>
//   Manifest: <requestedExecutionLevel> | present | none
// A missing version text prints as "(none)". Exit code 0 when the file has a
// version resource, 1 when it has none, 2 on a wrong command line.
#include <windows.h>

#include <stdio.h>
#include <string.h>

static void PrintVersionText(const void *info, WORD lang, WORD codepage, const char *name) {
  char query[80];
  char *text = NULL;
  UINT len = 0;
  snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", lang, codepage, name);
  if (VerQueryValueA(info, query, (void **)&text, &len) && text && len > 0)
    printf("%s: %.*s\n", name, (int)strnlen(text, len), text);
  else
    printf("%s: (none)\n", name);
}

// The level attribute of requestedExecutionLevel; the manifest is not
// NUL-terminated, so every search stays inside its size.
static void PrintManifest(const char *file) {
  HMODULE mod = LoadLibraryExA(file, NULL, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC res = mod ? FindResourceA(mod, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : NULL;
  const char *data = NULL;
  DWORD size = 0;
  if (res) {
    HGLOBAL loaded = LoadResource(mod, res);
    data = loaded ? (const char *)LockResource(loaded) : NULL;
    size = SizeofResource(mod, res);
  }
  if (!data) {
    printf("Manifest: none\n");
  } else {
    static const char element[] = "requestedExecutionLevel";
    static const char attribute[] = "level=\"";
    const char *level = NULL;
    DWORD i = 0;
    for (; i + sizeof element - 1 <= size; i++)
      if (memcmp(data + i, element, sizeof element - 1) == 0) break;
    for (; i + sizeof attribute - 1 <= size; i++)
      if (memcmp(data + i, attribute, sizeof attribute - 1) == 0) {
        level = data + i + sizeof attribute - 1;
        break;
      }
    int n = 0;
    while (level && level + n < data + size && level[n] != '"') n++;
    if (level && level + n < data + size)
      printf("Manifest: %.*s\n", n, level);
    else
      printf("Manifest: present\n");
  }
  if (mod) FreeLibrary(mod);
}

int main(int argc, char **argv) {
  static char info[16384];
  if (argc != 2) {
    printf("usage: resinfo FILE\n");
    return 2;
  }
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(argv[1], &handle);
  if (size == 0 || size > sizeof info || !GetFileVersionInfoA(argv[1], 0, size, info)) {
    printf("no version resource: %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  WORD *translation = NULL;
  UINT len = 0;
  WORD lang = 0x0409, codepage = 1200;
  if (VerQueryValueA(info, "\\VarFileInfo\\Translation", (void **)&translation, &len) && len >= 4) {
    lang = translation[0];
    codepage = translation[1];
  }
  PrintVersionText(info, lang, codepage, "ProductName");
  PrintVersionText(info, lang, codepage, "FileDescription");
  PrintVersionText(info, lang, codepage, "FileVersion");
  PrintManifest(argv[1]);
  return 0;
}
