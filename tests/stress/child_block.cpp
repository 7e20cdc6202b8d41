#include "child_block.h"

using namespace suite;

namespace stress {

ChildBlockMapping ChildBlockMapping::Create(const std::wstring& name) {
  ChildBlockMapping block;
  block.m_mapping = UniqueKernelHandle::Adopt(CreateFileMappingW(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ChildBlock), name.c_str()));
  if (block.m_mapping) {
    block.m_view.reset(
        MapViewOfFile(block.m_mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ChildBlock)));
  }
  return block;
}

ChildBlockMapping ChildBlockMapping::Open(const std::wstring& name) {
  ChildBlockMapping block;
  block.m_mapping =
      UniqueKernelHandle::Adopt(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
  if (block.m_mapping) {
    block.m_view.reset(
        MapViewOfFile(block.m_mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ChildBlock)));
  }
  return block;
}

std::int64_t NowMicros() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<std::int64_t>(now.QuadPart / frequency * 1000000 +
                                   now.QuadPart % frequency * 1000000 / frequency);
}

}  // namespace stress
