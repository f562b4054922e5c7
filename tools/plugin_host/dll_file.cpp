// Reading a DLL's PE headers and import table (dll_file.h) from the file's
// bytes, every offset checked before it is followed.
#include "dll_file.h"

#include <stdio.h>
#include <windows.h>

#include <algorithm>

namespace {

// Reads at most `limit` bytes of the file.
bool ReadStart(const std::wstring &path, size_t limit,
               std::vector<uint8_t> &bytes, std::string &why) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = "cannot be opened (Windows error " + std::to_string(GetLastError()) +
          ")";
    return false;
  }
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (ok) {
    bytes.resize(size_t(std::min<LONGLONG>(size.QuadPart, LONGLONG(limit))));
    DWORD got = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) &&
          got == bytes.size());
  }
  CloseHandle(file);
  if (!ok) why = "cannot be read";
  return ok;
}

struct Bytes {
  const std::vector<uint8_t> &b;
  bool Has(size_t at, size_t count) const {
    return at <= b.size() && count <= b.size() - at;
  }
  uint32_t U32(size_t at) const {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
  }
  uint16_t U16(size_t at) const { return uint16_t(b[at] | b[at + 1] << 8); }
};

struct Section {
  uint32_t address, size, fileOffset, fileSize;
};

// The file offset of an address of the loaded image, or 0 when no section
// holds it.
size_t FileOffset(const std::vector<Section> &sections, uint32_t rva) {
  for (const Section &s : sections) {
    uint32_t extent = std::max(s.size, s.fileSize);
    if (rva >= s.address && rva - s.address < extent &&
        rva - s.address < s.fileSize)
      return size_t(s.fileOffset) + (rva - s.address);
  }
  return 0;
}

// The import table's DLL names; stops at anything that does not fit.
void ReadImports(const Bytes &in, const std::vector<Section> &sections,
                 uint32_t tableRva, std::vector<std::string> &imports) {
  size_t at = FileOffset(sections, tableRva);
  for (int entry = 0; at && entry < 256 && in.Has(at, 20); ++entry, at += 20) {
    uint32_t nameRva = in.U32(at + 12);
    if (!nameRva) break;  // the all-zero entry ends the table
    size_t name = FileOffset(sections, nameRva);
    if (!name) break;
    std::string text;
    while (name < in.b.size() && in.b[name] && text.size() < 256)
      text += char(in.b[name++]);
    imports.push_back(text);
  }
}

}  // namespace

bool ReadDllFile(const std::wstring &path, DllFile &dll, std::string &why) {
  dll = DllFile();
  std::vector<uint8_t> bytes;
  // Headers and import names lie in the first few MiB of any plug-in.
  if (!ReadStart(path, 16 << 20, bytes, why)) return false;
  const Bytes in{bytes};
  if (!in.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
    why = "not a Windows DLL: it does not start with \"MZ\"";
    return false;
  }
  const size_t pe = in.U32(0x3C);
  if (!in.Has(pe, 24) || in.U32(pe) != 0x00004550) {  // "PE\0\0"
    why = "not a Windows DLL: no PE header";
    return false;
  }
  dll.machine = in.U16(pe + 4);
  const int sectionCount = in.U16(pe + 6);
  const size_t optional = pe + 24, optionalSize = in.U16(pe + 20);
  // The import directory: entry 1 of the data directories, whose place
  // depends on PE32 (0x10B) or PE32+ (0x20B).
  if (!in.Has(optional, optionalSize) || optionalSize < 2) return true;
  const uint16_t magic = in.U16(optional);
  const size_t directories = optional + (magic == 0x20B ? 112 : 96);
  const size_t countAt = optional + (magic == 0x20B ? 108 : 92);
  if (countAt + 4 > optional + optionalSize || in.U32(countAt) < 2 ||
      directories + 16 > optional + optionalSize)
    return true;
  const uint32_t importRva = in.U32(directories + 8);
  std::vector<Section> sections;
  size_t header = optional + optionalSize;
  for (int i = 0; i < sectionCount && in.Has(header, 40); ++i, header += 40)
    sections.push_back({in.U32(header + 12), in.U32(header + 8),
                        in.U32(header + 20), in.U32(header + 16)});
  if (importRva) ReadImports(in, sections, importRva, dll.imports);
  return true;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case 0x014C:
      return "32-bit x86";
    case 0x8664:
      return "64-bit x86-64";
    case 0xAA64:
      return "64-bit ARM64";
    case 0x01C4:
      return "32-bit ARM";
    case 0x0200:
      return "64-bit Itanium";
  }
  char text[32];
  snprintf(text, sizeof text, "machine 0x%04X", machine);
  return text;
}
