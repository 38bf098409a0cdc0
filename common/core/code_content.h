// Which files are code: what Windows may run, load, install or unpack. Told by a file's first
// bytes, whatever its name (a PE image, a compound document such as an MSI package, a cabinet),
// and by names that Windows runs or loads whatever they hold. Shared by the wide program and the
// narrow library, so templates.
#pragma once

#include <cstddef>
#include <string>

namespace qv {

enum class CodeKind { None, Program, CompoundDocument, Cabinet };

// How many first bytes CodeKindOfContent looks at.
constexpr size_t kCodeHeadBytes = 8;

// "MZ": a DOS or PE image (a program or library under any name); D0 CF 11 E0 A1 B1 1A E1: a
// compound document (MSI, MSP and MST packages, and documents that may carry macros); "MSCF": a
// cabinet. Anything shorter or else is no code.
inline CodeKind CodeKindOfContent(const unsigned char* head, size_t size) {
  static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  auto startsWith = [&](const unsigned char* magic, size_t length) {
    if (size < length) return false;
    for (size_t n = 0; n < length; ++n) {
      if (head[n] != magic[n]) return false;
    }
    return true;
  };
  static const unsigned char kImage[2] = {'M', 'Z'};
  static const unsigned char kCabinet[4] = {'M', 'S', 'C', 'F'};
  if (startsWith(kImage, 2)) return CodeKind::Program;
  if (startsWith(kCompound, 8)) return CodeKind::CompoundDocument;
  if (startsWith(kCabinet, 4)) return CodeKind::Cabinet;
  return CodeKind::None;
}

// The extensions, in lower case, of names that Windows runs or loads as code whatever they hold:
// programs and libraries, drivers, installer packages and cabinets, and batch files (which a
// program start hands to the command interpreter).
constexpr const char* kCodeExtensions[] = {"exe", "dll", "ocx", "sys", "cpl", "scr", "com", "drv", "msi", "msp",
                                           "mst", "cab", "efi", "mui", "ax",  "tlb", "bat", "cmd"};

namespace code_detail {

template <typename Char>
Char LowerAscii(Char c) {
  return c >= Char('A') && c <= Char('Z') ? Char(c - Char('A') + Char('a')) : c;
}

}  // namespace code_detail

// A name that Windows runs or loads as code whatever it holds (a raw .com program, a driver, a
// batch file), or
// one whose stream part (":...") may name any file's data. Trailing dots and blanks, which Windows
// drops, do not hide an extension.
template <typename Char>
bool IsCodeFileName(const std::basic_string<Char>& name) {
  const Char separators[] = {Char('\\'), Char('/'), Char(0)};
  const size_t folderEnd = name.find_last_of(separators);
  if (name.find(Char(':'), folderEnd == std::basic_string<Char>::npos ? 0 : folderEnd) !=
      std::basic_string<Char>::npos) {
    return true;
  }
  const Char trailing[] = {Char('.'), Char(' '), Char(0)};
  const size_t end = name.find_last_not_of(trailing);
  if (end == std::basic_string<Char>::npos) return false;
  const Char dotOrSeparator[] = {Char('.'), Char('\\'), Char('/'), Char(0)};
  const size_t dot = name.find_last_of(dotOrSeparator, end);
  if (dot == std::basic_string<Char>::npos || name[dot] != Char('.')) return false;
  std::string extension;
  for (size_t n = dot + 1; n <= end; ++n) {
    const Char c = code_detail::LowerAscii(name[n]);
    extension += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
  }
  for (const char* code : kCodeExtensions) {
    if (extension == code) return true;
  }
  return false;
}

// Whether a file must bear the maker's signature: code by its content or by its name.
template <typename Char>
bool IsCodeFile(const std::basic_string<Char>& name, const unsigned char* head, size_t size) {
  return CodeKindOfContent(head, size) != CodeKind::None || IsCodeFileName(name);
}

}  // namespace qv
